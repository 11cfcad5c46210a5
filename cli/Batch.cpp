#include "cli/Batch.h"

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
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

// Adds `next` to the outputs of a run, joined to the one before where that writes the same:
// lines that are not blocks, after an output with nothing on the error stream. A run's lines
// then travel to the writing thread as one text rather than a text a file.
void addOutput(std::vector<FileOutput>& outputs, FileOutput&& next, size_t runLength) {
  FileOutput* last = outputs.empty() ? nullptr : &outputs.back();
  if (!last || last->block || next.block || !last->err.empty()) {
    outputs.push_back(std::move(next));
    return;
  }
  if (last->files == 1) last->out.reserve(last->out.size() * (runLength + 1));
  last->out += next.out;
  last->err = std::move(next.err);
  last->failed = last->failed || next.failed;
  last->files += next.files;
}

// Runs one file's work; whatever it throws is that file's failure, told with the file's name,
// and the batch goes on.
FileOutput workOn(const BatchFile& file,
                  const std::function<FileOutput(const BatchFile& file)>& work) {
  try {
    return work(file);
  } catch (...) {
    FileOutput failed;
    failed.err = failureLine(file.path, currentExceptionReason());
    failed.failed = true;
    return failed;
  }
}

// Voluntary context switches of the calling thread so far: the times it waited, on a read
// above all.
long waitsOfThisThread() {
  rusage usage{};
  return ::getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_nvcsw : 0;
}

// The files' outputs, a run of neighbours at a time: workers claim the next run, make its
// outputs apart and leave them in the run's slot; the calling thread writes the slots in order
// as they fill and frees each once written. A worker waits before claiming a run too far ahead
// of the one being written, so that a file that keeps its thread waiting holds back at most a
// few runs' output.
//
// The pool starts with `threads` workers (a thread per core). A worker whose files kept it
// waiting (on reads: it gave the processor up for at least every other file) adds a worker, up
// to `mostThreads`: on a cold disk or a network share many reads are then in flight at once,
// while a warm batch keeps to the cores and pays for no extra threads.
class RunQueue {
 public:
  RunQueue(const PathList& list, size_t threads, size_t mostThreads,
           const std::function<FileOutput(const BatchFile& file)>& work)
      : list_(list),
        work_(work),
        // Runs short enough to share the files evenly, long enough that threads rarely meet.
        runLength_(std::clamp<size_t>(list.files.size() / (mostThreads * 8), 1, 64)),
        runs_((list.files.size() + runLength_ - 1) / runLength_),
        mostThreads_(mostThreads),
        ahead_(4 * mostThreads),
        slots_(runs_) {
    const std::lock_guard<std::mutex> lock(mutex_);
    while (pool_.size() < threads && addWorker()) {
    }
    full_ = full_ || pool_.size() >= mostThreads_;
  }
  // Ends the batch (whatever is not written by then is dropped: writing failed) and waits for
  // the workers.
  ~RunQueue() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
    }
    room_.notify_all();
    for (std::thread& thread : pool_) thread.join();
  }
  RunQueue(const RunQueue&) = delete;
  RunQueue& operator=(const RunQueue&) = delete;

  // False when no worker could be started: the calling thread must do the work itself.
  bool started() const { return !pool_.empty(); }

  // Hands each file's output to `write`, in order, as the runs fill.
  void writeInOrder(const std::function<void(FileOutput& output)>& write) {
    for (size_t r = 0; r < runs_; ++r) {
      std::unique_lock<std::mutex> lock(mutex_);
      filled_.wait(lock, [&] { return slots_[r].has_value(); });
      std::vector<FileOutput> outputs = std::move(*slots_[r]);
      slots_[r].reset();
      writing_ = r + 1;
      lock.unlock();
      room_.notify_all();
      for (FileOutput& output : outputs) write(output);
    }
  }

 private:
  // False, with the pool taken as full, when the system starts no more threads.
  bool addWorker() {
    try {
      pool_.emplace_back([this] { work(); });
      return true;
    } catch (const std::system_error&) {
      full_ = true;
      return false;
    }
  }

  void work() {
    // Every few milliseconds the worker asks how often it waited meanwhile: often enough that
    // a cold batch reaches its full pool within a few runs, seldom enough to cost nothing.
    constexpr auto kProbeEvery = std::chrono::milliseconds(2);
    Clock::time_point probed = Clock::now();
    long waits = waitsOfThisThread();
    size_t files = 0;
    for (size_t r; (r = claim()) < runs_;) {
      std::vector<FileOutput> outputs;
      const size_t begin = r * runLength_, end = std::min(list_.files.size(), begin + runLength_);
      outputs.reserve(end - begin);
      for (size_t i = begin; i < end; ++i) {
        addOutput(outputs, workOn({list_.files[i], list_.regular[i]}, work_), end - begin);
        if (++files, full_ || Clock::now() - probed < kProbeEvery) continue;
        const long now = waitsOfThisThread();
        if (static_cast<size_t>(now - waits) * 2 >= files) grow();
        probed = Clock::now();
        waits = now;
        files = 0;
      }
      const std::lock_guard<std::mutex> lock(mutex_);
      slots_[r] = std::move(outputs);
      if (r == writing_) filled_.notify_one();
    }
  }

  void grow() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!closed_ && pool_.size() < mostThreads_) addWorker();
    full_ = full_ || pool_.size() >= mostThreads_;
  }

  size_t claim() {
    const size_t r = next_.fetch_add(1);
    if (r < runs_ && r >= writing_ + ahead_) {
      std::unique_lock<std::mutex> lock(mutex_);
      room_.wait(lock, [&] { return closed_ || r < writing_ + ahead_; });
      if (closed_) return runs_;
    }
    return r;
  }

  const PathList& list_;
  const std::function<FileOutput(const BatchFile& file)>& work_;
  const size_t runLength_, runs_, mostThreads_, ahead_;
  std::vector<std::optional<std::vector<FileOutput>>> slots_;
  std::atomic<size_t> next_{0};
  std::mutex mutex_;
  std::condition_variable filled_, room_;
  // The run the calling thread writes or waits for; changed under the lock, read without it
  // where a worker only asks whether it may go on.
  std::atomic<size_t> writing_{0};
  bool closed_ = false;            // the batch is over: no worker is added, no run claimed
  std::atomic<bool> full_{false};  // the pool has its most workers
  std::vector<std::thread> pool_;
};

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

void runBatch(Context& ctx, const PathList& list, Spread spread, const char* verb,
              const std::function<FileOutput(const BatchFile& file)>& work) {
  const std::vector<std::string>& files = list.files;
  ProgressLine progress(ctx, verb, files.size());
  bool blockWritten = false;
  size_t written = 0;
  const auto write = [&](FileOutput& output) {
    emit(ctx, output, blockWritten);
    progress.update(written += output.files);
  };
  const auto oneAtATime = [&] {
    for (size_t i = 0; i < files.size(); ++i) {
      FileOutput output = workOn({files[i], list.regular[i]}, work);
      write(output);
    }
  };
  if (spread == Spread::kOneAtATime || files.size() < kSmallestParallelBatch) return oneAtATime();
  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t threads = std::min(files.size(), cores);
  const size_t mostThreads =
      spread == Spread::kCores ? threads : std::min(files.size(), std::max(cores, kReadsInFlight));
  if (mostThreads == 1) return oneAtATime();
  RunQueue queue(list, threads, mostThreads, work);
  if (queue.started()) return queue.writeInOrder(write);
  oneAtATime();  // no thread could be started
}

}  // namespace bextkit::cli
