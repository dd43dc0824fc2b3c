// cardprep: prepares a memory card for the player. Run in the card's root.
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
  int status = 0;
  if (!ParseArgs(argc, argv, &args, &status)) return status;
  return EndProgram(RunCardprep(args));
}
