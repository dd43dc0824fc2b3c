// cardprep: prepares a memory card for the player. Run in the card's root.
#include <cstdio>
#include <cstring>

#include "app/args.h"
#include "app/run.h"
#include "host/program.h"
#include "titles/title_worker.h"

int main(int argc, char** argv) {
  TakeHostArguments(&argc, &argv);
  // The same program reads ID3 tags in its worker processes.
  if (argc == 2 && strcmp(argv[1], kTitleWorkerFlag) == 0) return RunTitleWorker();
  HoldMemoryInReserve();
  Args args;
  if (!ParseArgs(argc, argv, &args)) return 2;
  if (args.help) {
    fputs(Usage().c_str(), stdout);
    return 0;
  }
  if (args.version) {
    printf("cardprep %s\n", CARDPREP_VERSION);
    return 0;
  }
  return EndProgram(RunCardprep(args));
}
