#include <unistd.h>

#include <iostream>

#include "cli/Cli.h"
#include "cli/OutputBuffer.h"
#include "platform/FileHandle.h"

int main(int argc, char** argv) {
  bextkit::ignoreFileSizeLimitSignal();
  std::vector<std::string> args(argv + 1, argv + argc);
  bextkit::cli::OutputBuffer output(STDOUT_FILENO);
  std::ostream out(&output);
  // On a terminal each line shows as it is made; elsewhere the output goes in large blocks.
  if (isatty(STDOUT_FILENO) == 1) out << std::unitbuf;
  bextkit::cli::OutputBuffer errors(STDERR_FILENO, true);
  std::ostream err(&errors);
  err << std::unitbuf;  // each message as it is told, as the error stream always is
  return bextkit::cli::run(args, out, err, isatty(STDERR_FILENO) == 1);
}
