#include <unistd.h>

#include <iostream>

#include "cli/Cli.h"
#include "platform/FileHandle.h"

int main(int argc, char** argv) {
  bextkit::ignoreFileSizeLimitSignal();
  std::vector<std::string> args(argv + 1, argv + argc);
  return bextkit::cli::run(args, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
