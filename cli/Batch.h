// A batch of files handled one at a time or, for reading, on every core: each file's output is
// made apart and written in the order of the files, so that the result does not depend on which
// thread ran first. On a terminal, a progress line on the error stream once the batch lasts
// more than a second.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/Commands.h"

namespace bextkit::cli {

// What one file gives: text for the output and error streams, and whether it failed.
struct FileOutput {
  std::string out, err;
  bool failed = false;
  bool block = false;  // `out` is a block of lines, set off from the block before by a blank line
};

// The line that tells a file's failure on the error stream: "bextkit: NAME: why".
std::string failureLine(const std::string& name, const std::string& why);

// Tells a file's failure on the error stream (failureLine); the exit status becomes 1.
void reportFailure(Context& ctx, const std::string& name, const std::string& why);

// Runs `work` on each file in turn, for work that writes as it goes; whatever it throws fails
// that file alone (reportFailure), and the other files go on.
void forEachFile(Context& ctx, const std::vector<std::string>& files,
                 const std::function<void(const std::string& path)>& work);

// Runs `work` on each file and writes its output; a failed file sets the exit status to 1 and
// the batch goes on. An exception out of `work` fails its file alone ("bextkit: FILE: REASON").
// `parallel` lets reading work run on all cores where the batch is large enough to gain from
// it; `verb` names the work in the progress line ("checked").
void runBatch(Context& ctx, const std::vector<std::string>& files, bool parallel, const char* verb,
              const std::function<FileOutput(const std::string& path)>& work);

}  // namespace bextkit::cli
