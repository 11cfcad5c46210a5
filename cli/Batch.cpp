#include "cli/Batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/ExceptionReason.h"

namespace bextkit::cli {

namespace {

using Clock = std::chrono::steady_clock;

// Below this many files one thread does the work: starting threads would cost more than it saves.
constexpr size_t kSmallestParallelBatch = 16;

// The progress line: shown once the batch has lasted a second, redrawn at most ten times a
// second, and wiped when the batch ends.
class ProgressLine {
 public:
  ProgressLine(Context& ctx, const char* verb, size_t total)
      : ctx_(ctx), verb_(verb), total_(total), start_(Clock::now()) {}
  ~ProgressLine() {
    if (shown_) ctx_.err << "\r\033[K" << std::flush;
  }
  void update(size_t done) {
    if (!ctx_.showProgress) return;
    const Clock::time_point now = Clock::now();
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(100)) {
      return;
    }
    last_ = now;
    shown_ = true;
    ctx_.err << "\r" << verb_ << ' ' << done << " of " << total_ << " files" << std::flush;
  }

 private:
  Context& ctx_;
  const char* verb_;
  size_t total_;
  Clock::time_point start_, last_;
  bool shown_ = false;
};

void emit(Context& ctx, FileOutput& output, bool& blockWritten) {
  if (output.block && !output.out.empty()) {
    if (blockWritten) ctx.out << '\n';
    blockWritten = true;
  }
  ctx.out << output.out;
  ctx.err << output.err;
  if (output.failed && ctx.status == 0) ctx.status = 1;
}

// Runs one file's work; whatever it throws is that file's failure, told with the file's name,
// and the batch goes on.
FileOutput workOn(const std::string& path,
                  const std::function<FileOutput(const std::string& path)>& work) {
  try {
    return work(path);
  } catch (...) {
    FileOutput failed;
    failed.err = failureLine(path, currentExceptionReason());
    failed.failed = true;
    return failed;
  }
}

}  // namespace

std::string failureLine(const std::string& name, const std::string& why) {
  return "bextkit: " + name + ": " + why + '\n';
}

void reportFailure(Context& ctx, const std::string& name, const std::string& why) {
  ctx.err << failureLine(name, why);
  ctx.status = 1;
}

void forEachFile(Context& ctx, const std::vector<std::string>& files,
                 const std::function<void(const std::string& path)>& work) {
  for (const std::string& path : files) {
    try {
      work(path);
    } catch (...) {
      reportFailure(ctx, path, currentExceptionReason());
    }
  }
}

void runBatch(Context& ctx, const std::vector<std::string>& files, bool parallel, const char* verb,
              const std::function<FileOutput(const std::string& path)>& work) {
  ProgressLine progress(ctx, verb, files.size());
  bool blockWritten = false;
  const size_t threads =
      parallel && files.size() >= kSmallestParallelBatch
          ? std::min<size_t>(files.size(), std::max(1u, std::thread::hardware_concurrency()))
          : 1;
  if (threads == 1) {
    for (size_t i = 0; i < files.size(); ++i) {
      FileOutput output = workOn(files[i], work);
      emit(ctx, output, blockWritten);
      progress.update(i + 1);
    }
    return;
  }
  // Workers take the next file by number and leave its output in its slot; this thread writes
  // the slots in order as they fill, and frees each once written.
  std::vector<std::optional<FileOutput>> slots(files.size());
  std::mutex mutex;
  std::condition_variable filled;
  std::atomic<size_t> next{0};
  std::vector<std::thread> pool;
  for (size_t t = 0; t < threads; ++t) {
    pool.emplace_back([&] {
      for (size_t i; (i = next.fetch_add(1)) < files.size();) {
        FileOutput output = workOn(files[i], work);
        const std::lock_guard<std::mutex> lock(mutex);
        slots[i] = std::move(output);
        filled.notify_one();
      }
    });
  }
  for (size_t i = 0; i < files.size(); ++i) {
    std::unique_lock<std::mutex> lock(mutex);
    filled.wait(lock, [&] { return slots[i].has_value(); });
    FileOutput output = std::move(*slots[i]);
    slots[i].reset();
    lock.unlock();
    emit(ctx, output, blockWritten);
    progress.update(i + 1);
  }
  for (std::thread& thread : pool) thread.join();
}

}  // namespace bextkit::cli
