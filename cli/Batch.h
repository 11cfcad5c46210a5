// A batch of files handled one at a time or, for reading, by a pool of threads: each file's
// output is made apart and written in the order of the files, so that the result does not
// depend on which thread ran first. The pool takes files in runs of neighbours, so that threads
// rarely meet, and grows past the cores where reads keep its threads waiting (a network share,
// a cold disk), so that many reads are then in flight at once. On a terminal, a progress line
// on the error stream once the batch lasts more than a second.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "platform/FilePaths.h"

namespace bextkit::cli {

// What one file gives: text for the output and error streams, and whether it failed.
struct FileOutput {
  std::string out, err;
  bool failed = false;
  bool block = false;  // `out` is a block of lines, set off from the block before by a blank line
  size_t files = 1;    // the files whose output this is: a batch joins neighbours' lines
};

// The line that tells a file's failure on the error stream: "bextkit: NAME: why".
std::string failureLine(const std::string& name, const std::string& why);

// Tells a file's failure on the error stream (failureLine); the exit status becomes 1.
void reportFailure(Context& ctx, const std::string& name, const std::string& why);

// Runs `work` on each file in turn, for work that writes as it goes; whatever it throws fails
// that file alone (reportFailure), and the other files go on.
void forEachFile(Context& ctx, const std::vector<std::string>& files,
                 const std::function<void(const std::string& path)>& work);

// One file of a batch: its path, and whether the listing saw a regular file there, so that it
// may be opened without a look first (FileHandle::openListedForReading).
struct BatchFile {
  const std::string& path;
  bool listed = false;
};

// How a batch spreads its files over threads.
enum class Spread {
  kOneAtATime,  // work that writes, or that tells things as it goes
  kCores,       // reading work that computes much per byte read: a thread per core
  // Reading work: a thread per core while the reads come from memory, up to kReadsInFlight
  // threads once they keep the threads waiting (a cold disk, a network share).
  kReadsInFlight,
};
// The most threads of a kReadsInFlight batch: enough reads in flight to hide the round trip of
// network storage, few enough that the memory of the files in hand stays small.
inline constexpr size_t kReadsInFlight = 16;

// Runs `work` on each file of `list` and writes its output; a failed file sets the exit status
// to 1 and the batch goes on. An exception out of `work` fails its file alone ("bextkit: FILE:
// REASON"). `verb` names the work in the progress line ("checked").
void runBatch(Context& ctx, const PathList& list, Spread spread, const char* verb,
              const std::function<FileOutput(const BatchFile& file)>& work);

}  // namespace bextkit::cli
