// Writing the broadcast extension back: the bytes of a new or rewritten chunk, the time
// reference, the saves that must be refused, and saves that meet a failing disk, or are killed,
// at every step.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>

#include "Support.h"
#include "bwf/BWFParser.h"
#include "bwf/ByteOrder.h"
#include "platform/Clock.h"

namespace bextkit::testsupport {
namespace {

const BextFields kFields{"Scene 12", "Recorder", "REF-1", "2025-03-04",
                         "05:06:07", 172800000,  "A=PCM"};

Bytes wave(const BextFields* bext, ByteOrder order = ByteOrder::kNormal, uint32_t rate = 48000,
           size_t audio = 400) {
  RiffBuilder b(order);
  b.riffHeader();
  if (bext) b.bext(*bext);
  return b.fmt(1, 2, rate, 16).chunk("data", Bytes(audio, 0x11)).bytes();
}

std::unique_ptr<BWFParser> scanned(const std::string& path, float fps = 25.0f) {
  auto parser = BWFParser::initWithPath(path, fps);
  const LogCapture quiet;
  parser->parse();
  return parser;
}

class Write : public testing::Test {
 protected:
  Write() {
    setDateTextSource([] { return "2026-12-06 21:00:05 +0100"; });
  }
  ~Write() override { setDateTextSource({}); }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path)) names.push_back(e.path());
    std::sort(names.begin(), names.end());
    return names;
  }
  // The save fails with a reason naming the file (as given) and `why`, and changes nothing.
  void expectRefused(BWFParser& parser, const std::string& path, const std::string& why) {
    const Bytes before = readWholeFile(path);
    const std::vector<std::string> names = entries();
    EXPECT_FALSE(parser.saveFile());
    EXPECT_EQ(parser.lastError().find("cannot save " + path + ": "), 0u) << parser.lastError();
    EXPECT_NE(parser.lastError().find(why), std::string::npos) << parser.lastError();
    EXPECT_EQ(readWholeFile(path), before);
    EXPECT_EQ(entries(), names) << "a temporary file was left behind";
  }
  TempDir dir;
};

// Both halves of the time reference of the bext chunk at offset 12.
uint64_t timeReferenceIn(const Bytes& file) {
  return loadLE32(file.data(), 12 + 346) | uint64_t{loadLE32(file.data(), 12 + 350)} << 32;
}

TEST_F(Write, ASaveChangesOnlyTheEditedFieldsOrNothing) {
  auto fresh = scanned(dir.write("n.wav", wave(nullptr)));
  EXPECT_EQ(fresh->getBWFChunkData()[9], 0x0D) << "a fresh record holds CR LF behind the NUL";
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  // A file whose bext chunk of `payload` bytes (at offset 12) holds the time reference
  // `stored`, cut `cut` bytes short; the edits (none where null); the chunk's time reference
  // afterwards, or why the save is refused. A sample rate of 0 is mu-law audio.
  // clang-format off
  const struct { uint64_t stored; size_t payload, cut; uint32_t rate; float fps; const char *description, *timecode; uint64_t expected; const char* refusal; } kCases[] = {
      // An edit of a text, or a timecode set to the one shown, keeps the time reference: inside
      // a frame, past 2^32 samples (shown as 13:00:00:00), at any frame rate.
      {1000000, 858, 0, 48000, 25, "New", nullptr, 1000000, nullptr}, {4147199000, 858, 0, 48000, 29.97f, "", nullptr, 4147199000, nullptr},
      {4492801000, 858, 0, 96000, 25, "x", "13:00:00:00", 4492801000, nullptr}, {7, 858, 0, 0, 25, "Mu-law", nullptr, 7, nullptr},
      // A changed timecode replaces both halves.
      {4492800000, 858, 0, 96000, 25, nullptr, "01:00:00:00", 345600000, nullptr}, {0, 858, 0, 96000, 25, nullptr, "20:00:00:00", 6912000000, nullptr},
      {0, 858, 0, 48000, 29.97f, nullptr, "00:00:00:01", 1602, nullptr}, {0, 858, 0, 44100, 23.976f, nullptr, "00:00:10:00", 441000, nullptr},
      {0, 858, 0, 48000, 25, nullptr, "23:59:59:24", 4147198081, nullptr},  // the double sum lies just above: rounded up
      {0, 858, 0, 96000, 25, nullptr, "12:25:39:00", 4294944000, nullptr}, {0, 858, 0, 48000, 25, nullptr, "2147483647:00:00:00", 371085174201600000, nullptr},
      {0, 602, 0, 48000, 25, "Short chunk", "01:00:00:00", 172800000, nullptr},  // all but the coding history
      // Refused, with nothing written.
      {5, 858, 0, 48000, 25, nullptr, "-1:00:00:00", 0, "lies before midnight"}, {5, 858, 0, 48000, 0.0f, nullptr, "00:00:00:05", 0, "more samples"},
      {5, 858, 0, 48000, kNaN, nullptr, "00:00:00:05", 0, "frame rate of nan"}, {5, 858, 0, 0, 25, nullptr, "01:00:00:00", 0, "no sample rate"},
      {5, 10, 0, 48000, 25, "EVIL EDIT", nullptr, 0, "holds 10 bytes, too few for the new description"},
      {5, 0, 0, 48000, 25, "x", nullptr, 0, "holds 0 bytes"}, {5, 353, 0, 48000, 25, nullptr, "01:00:00:00", 0, "too few for the new time reference"},
      {5, 858, 500, 48000, 25, "x", nullptr, 0, "declares 858 bytes and runs past the end of the file"}};
  // clang-format on
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.stored << " " << c.payload << " " << c.timecode);
    BextFields fields = kFields;
    fields.timeReference = c.stored, fields.payloadSize = c.payload;
    Bytes file = RiffBuilder()
                     .riffHeader()
                     .bext(fields)
                     .fmt(c.rate ? 1 : 7, 1, c.rate ? c.rate : 8000, 16)
                     .chunk("data", Bytes(400, 0x11))
                     .bytes();
    file.resize(file.size() - c.cut);
    const std::string path = dir.write("t.wav", file);
    auto parser = scanned(path, c.fps);
    if (c.description) parser->setDescription(c.description);
    int32_t t[4] = {};
    if (c.timecode) std::sscanf(c.timecode, "%d:%d:%d:%d", &t[0], &t[1], &t[2], &t[3]);
    if (c.timecode) parser->setTimeCodeHH(t[0], t[1], t[2], t[3], 25);
    if (c.refusal) {
      expectRefused(*parser, path, c.refusal);
      continue;
    }
    ASSERT_TRUE(parser->saveFile()) << parser->lastError();
    const Bytes after = readWholeFile(path);
    EXPECT_EQ(timeReferenceIn(after), c.expected);
    // Only the edited fields change; an edited text leaves nothing of the former one behind.
    for (size_t i = 0; i < file.size(); ++i) {
      const bool text = c.description && i >= 20 && i < 276;
      const bool reference = c.timecode && i >= 358 && i < 366;
      const size_t at = i - 20;
      const uint8_t want = text ? (at < strlen(c.description) ? c.description[at] : 0) : file[i];
      EXPECT_TRUE(reference || after[i] == want) << i;
    }
  }
}

TEST_F(Write, RefusesWhatItCannotWriteSafely) {
  Bytes junkFirst = wave(nullptr);
  junkFirst.insert(junkFirst.begin(), {'A', 'B', 'C', 'D'});
  // clang-format off
  const struct { Bytes bytes; bool parse; std::string description, originator; const char* why; } kCases[] = {
      {wave(nullptr), false, "x", "", "has not been scanned"}, {Bytes(99, 1), true, "x", "", "not a RIFF file"},
      {junkFirst, true, "x", "", "does not begin with a RIFF header"},
      {wave(&kFields), true, std::string(257, 'd'), "", "description is 257 bytes"},
      {wave(&kFields), true, "x", std::string(33, 'o'), "originator is 33 bytes"}};
  // clang-format on
  for (const auto& c : kCases) {
    const std::string path = dir.write("x.wav", c.bytes);
    auto parser = c.parse ? scanned(path) : BWFParser::initWithPath(path);
    parser->setDescription(c.description);
    parser->setOriginator(c.originator);
    expectRefused(*parser, path, c.why);
  }
  // A new file would split a hard link; a rewrite in place stays in the one file.
  const std::string linked = dir.write("linked.wav", wave(nullptr)),
                    chunked = dir.write("bext.wav", wave(&kFields));
  ASSERT_EQ(::link(linked.c_str(), dir.pathOf("other.wav").c_str()) |
                ::link(chunked.c_str(), dir.pathOf("alias.wav").c_str()),
            0);
  expectRefused(*scanned(linked), linked, "hard links");
  auto rewriting = scanned(chunked);
  rewriting->setDescription("seen by both");
  ASSERT_TRUE(rewriting->saveFile()) << rewriting->lastError();
  EXPECT_EQ(scanned(dir.pathOf("alias.wav"))->description(), "seen by both");
  // A file that is no longer a regular file when it is saved.
  auto gone = scanned(linked);
  ASSERT_EQ(::unlink(linked.c_str()) | ::mkfifo(linked.c_str(), 0600), 0);
  EXPECT_FALSE(gone->saveFile());
  EXPECT_EQ(gone->lastError(), "cannot save " + linked + ": not a regular file");
  // Only regular files are opened, and at once: a FIFO would wait for a writer, a device and a
  // directory hold no WAV file.
  ASSERT_EQ(::mkfifo(dir.pathOf("fifo").c_str(), 0600), 0);
  for (const std::string& special : {dir.pathOf("fifo"), std::string("/dev/zero"), dir.path}) {
    std::string why;
    EXPECT_FALSE(BWFParser::initWithPath(special) || FileHandle::openForReading(special, &why));
    EXPECT_EQ(why, "not a regular file") << special;
  }
  // A file this user may not write is refused, whether its save would rewrite a chunk in place
  // or insert one (run as nobody where the test runs as root, whom no permission stops).
  const pid_t child = ::fork();
  if (child == 0) {
    const bool root = ::geteuid() == 0;
    bool ok = !root || (::chown(dir.path.c_str(), 65534, 65534) == 0 && ::setgid(65534) == 0 &&
                        ::setuid(65534) == 0);
    for (const BextFields* bext : {&kFields, static_cast<const BextFields*>(nullptr)}) {
      const std::string path = dir.write("readonly.wav", wave(bext));
      const Bytes before = readWholeFile(path);
      auto parser = scanned(path);
      parser->setDescription("x");
      ok = ok && ::chmod(path.c_str(), 0444) == 0 && !parser->saveFile() &&
           parser->lastError() ==
               "cannot save " + path + ": cannot open for writing: Permission denied" &&
           readWholeFile(path) == before;
    }
    ::_exit(ok ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0) << "a file without write permission was saved";
  // A file that a new chunk would take past 4 GiB (sparse: no disk space used).
  const std::string big = dir.write(
      "big.wav", RiffBuilder().riffHeader().chunkDeclaring("data", 0xFFFFFC8B, {}).bytes());
  ASSERT_EQ(::truncate(big.c_str(), 0xFFFFFC9F), 0);
  auto parser = scanned(big);
  EXPECT_FALSE(parser->saveFile());
  EXPECT_NE(parser->lastError().find("past 4 GiB"), std::string::npos) << parser->lastError();
  EXPECT_EQ(std::filesystem::file_size(big), 0xFFFFFC9F);
}

TEST_F(Write, AnotherProgramsWorkIsNeverLost) {
  // A recorder appends audio while an insertion copies the file (heard through the copy's
  // progress): the save fails, and the file keeps all of it.
  const std::string path = dir.write("rec.wav", wave(nullptr));
  Bytes grown = readWholeFile(path);
  grown.resize(grown.size() + 1000, 0x22);
  auto parser = scanned(path);
  parser->setDescription("x");
  parser->setSaveProgress([&, appended = false](uint64_t, uint64_t) mutable {
    if (!std::exchange(appended, true))
      std::ofstream(path, std::ios::app) << std::string(1000, 0x22);
  });
  const std::vector<std::string> names = entries();
  EXPECT_FALSE(parser->saveFile());
  EXPECT_EQ(
      parser->lastError(),
      "cannot save " + path + ": the file changed while it was being saved; nothing was written");
  EXPECT_EQ(readWholeFile(path), grown);
  EXPECT_EQ(entries(), names);
  // A save of a file that another save holds fails at once; one that another program saved
  // (or gave a chunk) since it was read fails too, rather than undo that program's edits.
  for (const BextFields* bext : {&kFields, static_cast<const BextFields*>(nullptr)}) {
    const std::string shared = dir.write("shared.wav", wave(bext));
    auto first = scanned(shared), second = scanned(shared);
    first->setDescription("one");
    second->setOriginator("two");
    const int other = ::open(shared.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    expectRefused(*first, shared, "the file is being saved by another process");
    ::close(other);
    ASSERT_TRUE(first->saveFile()) << first->lastError();
    expectRefused(
        *second, shared,
        bext ? "the bext chunk changed since the file was read" : "the file has a bext chunk now");
  }
}

// File operations that fail the chosen call of one kind, or kill the process there (a write or a
// copy after doing half of it). Every other read and write is interrupted (EINTR), every write
// comes up one byte short, and a chosen short write is followed by one that makes no progress,
// as on a full disk.
enum Fault { kCreate, kWrite, kShortWrite, kCopy, kSync, kLink, kRename, kFaults };

struct FaultyDisk {
  FaultyDisk(int fault, int at, bool kernelCopy, bool unnamedFiles, bool kill = false) {
    const FileOperations real = posixFileOperations();
    FileOperations ops = real;
    const auto hit = [=, this](int kind) { return ++calls[kind] == at && fault == kind; };
    const auto fail = [kill](
                          int error, const std::function<void()>& half = [] {}) {
      if (kill) half(), ::raise(SIGKILL);
      return errno = error, -1;
    };
    ops.open = [=](const char* path, int flags, mode_t mode) {
      const bool unnamed = (flags & O_TMPFILE) == O_TMPFILE, create = unnamed || (flags & O_CREAT);
      if (unnamed && !unnamedFiles) return errno = EOPNOTSUPP, -1;
      return create && hit(kCreate) ? fail(EROFS) : real.open(path, flags, mode);
    };
    ops.pread = [=, this](int fd, void* buffer, size_t n, uint64_t offset) -> ssize_t {
      return std::exchange(interrupt, !interrupt) ? (errno = EINTR, -1)
                                                  : real.pread(fd, buffer, n, offset);
    };
    ops.pwrite = [=, this](int fd, const void* buffer, size_t n, uint64_t offset) -> ssize_t {
      if (std::exchange(interrupt, !interrupt)) return errno = EINTR, -1;
      if (std::exchange(full, false)) return 0;
      if (hit(kWrite)) return fail(ENOSPC, [&] { real.pwrite(fd, buffer, n / 2, offset); });
      const bool chosen = calls[kWrite] == at && fault == kShortWrite;
      full = chosen && n > 1;
      return real.pwrite(fd, buffer, chosen ? n / 2 : std::max<size_t>(n - 1, 1), offset);
    };
    ops.copyFileRange = [=](int in, uint64_t from, int out, uint64_t to, size_t n) -> ssize_t {
      if (!kernelCopy) return errno = EXDEV, -1;
      if (hit(kCopy)) return fail(ENOSPC, [&] { real.copyFileRange(in, from, out, to, n / 2); });
      return real.copyFileRange(in, from, out, to, n);
    };
    ops.fsync = [=](int fd) { return hit(kSync) ? fail(EIO) : real.fsync(fd); };
    ops.link = [=](int fd, const char* to) {
      return hit(kLink) ? fail(ENOSPC) : real.link(fd, to);
    };
    ops.rename = [=](const char* a, const char* b) {
      return hit(kRename) ? fail(EACCES) : real.rename(a, b);
    };
    setFileOperations(ops);
  }
  ~FaultyDisk() { setFileOperations(posixFileOperations()); }
  int calls[kFaults] = {};
  bool interrupt = false, full = false;
};

TEST_F(Write, EveryFailingOrKilledStepLeavesTheFileAsItWas) {
  // Insertions through a symbolic link into files whose audio spans several copy blocks, with an
  // unnamed temporary file copied in the kernel and a named one (into a reversed file) copied
  // through a buffer; and a rewrite. An insertion keeps the link, the permissions and the
  // attributes.
  const size_t audio = (2 << 20) + 12345;
  // clang-format off
  const struct { ByteOrder order; const BextFields* bext; size_t audio; bool kernelCopy, unnamedFiles; int faults; } kPaths[] = {
      {ByteOrder::kNormal, nullptr, audio, true, true, 17}, {ByteOrder::kReversed, nullptr, audio, false, false, 27},
      {ByteOrder::kNormal, &kFields, 400, true, true, 5}};
  // clang-format on
  const std::string path = dir.pathOf("take.wav"), link = dir.pathOf("link.wav");
  ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
  for (const auto& p : kPaths) {
    const Bytes original = wave(p.bext, p.order, 48000, p.audio);
    const auto fresh = [&] {
      dir.write("take.wav", original);
      ::chmod(path.c_str(), 0640);
      ::setxattr(path.c_str(), "user.test", "WAVEbext", 8, 0);
      ::setxattr(path.c_str(), "user.empty", "", 0, 0);
      auto parser = scanned(link);
      parser->setDescription("after");
      return parser;
    };
    auto parser = fresh();
    ASSERT_TRUE(parser->saveFile());
    const Bytes saved = readWholeFile(path);  // as a healthy disk writes it
    RiffBuilder inserted(p.order);            // the new chunk after the header: record, two zeros
    inserted.riffHeader().bext({"after", "", "", "2026-12-06", "21:00:05", 0, "A=PCM"});
    EXPECT_TRUE(p.bext ||
                saved == inserted.raw(Bytes(original.begin() + 12, original.end())).bytes());
    EXPECT_TRUE(parser->saveFile() && readWholeFile(path) == saved)
        << "a second save rewrites the chunk it made";
    const std::vector<std::string> names = entries();
    int calls[kFaults];
    parser = fresh();
    {
      const FaultyDisk counting(kFaults, 0, p.kernelCopy, p.unnamedFiles);
      ASSERT_TRUE(parser->saveFile()) << parser->lastError();
      std::copy(std::begin(counting.calls), std::end(counting.calls), calls);
    }
    EXPECT_TRUE(readWholeFile(path) == saved) << "short and interrupted writes were not completed";
    struct stat info {};
    EXPECT_TRUE(::lstat(link.c_str(), &info) == 0 && S_ISLNK(info.st_mode));
    EXPECT_TRUE(::stat(path.c_str(), &info) == 0 && (info.st_mode & 07777) == 0640);
    char value[16] = {};
    const bool kept = ::getxattr(path.c_str(), "user.test", value, sizeof value) == 8;
    EXPECT_TRUE(kept ? std::string(value) == "WAVEbext" : errno == ENOTSUP) << value;
    EXPECT_TRUE(!kept || ::getxattr(path.c_str(), "user.empty", value, sizeof value) == 0);
    calls[kShortWrite] = calls[kWrite];
    int injected = 0;
    for (int fault = 0; fault < kFaults; ++fault) {
      for (int at = 1; at <= calls[fault]; ++at, ++injected) {
        SCOPED_TRACE(testing::Message() << "fault " << fault << " at call " << at);
        parser = fresh();
        {
          const FaultyDisk disk(fault, at, p.kernelCopy, p.unnamedFiles);
          EXPECT_FALSE(parser->saveFile());
        }
        EXPECT_EQ(parser->lastError().find("cannot save " + link + ": "), 0u)
            << parser->lastError();
        EXPECT_EQ(readWholeFile(path), original);
        EXPECT_EQ(entries(), names) << "a temporary file was left behind";
        EXPECT_TRUE(parser->saveFile()) << parser->lastError();  // the disk is well again
        // The same step kills the process instead: the file is the original or the new version,
        // and a later save (an insertion or a rewrite) completes it.
        parser = fresh();
        const pid_t child = ::fork();
        if (child == 0) {
          const FaultyDisk disk(fault, at, p.kernelCopy, p.unnamedFiles, true);
          ::_exit(parser->saveFile() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(fault == kShortWrite || (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL))
            << status;
        const Bytes after = readWholeFile(path);
        EXPECT_TRUE(after == original || after == saved) << "neither the original nor complete";
        parser = scanned(link);
        parser->setDescription("after");
        EXPECT_TRUE(parser->saveFile() && readWholeFile(path) == saved);
        EXPECT_TRUE(::stat(path.c_str(), &info) == 0 && info.st_nlink == 1)
            << "a second name of the file";
        for (const std::string& name : entries()) {  // what a kill leaves beside the file
          if (std::find(names.begin(), names.end(), name) == names.end())
            std::filesystem::remove(name);
        }
      }
    }
    EXPECT_GE(injected, p.faults);
  }
  // Reading to the end of a file is no failure.
  auto file = FileHandle::openForReading(path);
  EXPECT_EQ(file->readDataOfLength(1 << 23).size() + file->lastError().size(),
            std::filesystem::file_size(path));
}

}  // namespace
}  // namespace bextkit::testsupport
