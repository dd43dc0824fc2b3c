// cardprep: prepares a memory card for the player. Run in the card's root.
#include <cstdio>

#include "app/args.h"
#include "app/run.h"

int main(int argc, char** argv) {
  Args args;
  if (!ParseArgs(argc, argv, &args)) return 2;
  if (args.help) {
    fputs(Usage(), stdout);
    return 0;
  }
  if (args.version) {
    printf("cardprep %s\n", CARDPREP_VERSION);
    return 0;
  }
  return RunCardprep(args);
}
