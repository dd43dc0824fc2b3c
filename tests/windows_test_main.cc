// The test programs' main on Windows. Standard output is binary, as on
// Linux: in text mode every line would end in CR LF, and CTest would take
// the CR for part of each test's name when it lists the tests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>

#include <cstdio>

#include "text/cp932.h"

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  testing::InitGoogleTest(&argc, argv);
  OpenCp932();
  return RUN_ALL_TESTS();
}
