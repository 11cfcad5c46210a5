// Writing the broadcast extension back: the bytes of a new or rewritten chunk, the time
// reference, the saves that must be refused, and saves that meet a failing disk, or are killed,
// at every step.
#include <fcntl.h>
#include <grp.h>
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
#include "Tool.h"
#include "bwf/BWFParser.h"
#include "bwf/ByteOrder.h"
#include "platform/Clock.h"
#include "platform/SoleWriter.h"

namespace bextkit::testsupport {
namespace {

const BextFields kFields{"Scene 12", "Recorder", "REF-1234567890ABCDEF", "2025-03-04", "05:06:07",
                         172800000,  "A=PCM"};

Bytes wave(const BextFields* bext, ByteOrder order = ByteOrder::kNormal, uint32_t rate = 48000,
           size_t audio = 400, size_t junk = 0) {
  RiffBuilder b(order);
  b.riffHeader();
  if (bext) b.bext(*bext);
  if (junk) b.chunk("JUNK", Bytes(junk, 0));
  return b.fmt(1, 2, rate, 16).chunk("data", Bytes(audio, 0x11)).bytes();
}

using Edits = BWFParser::FieldEdits;

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

Bytes field(const std::string& text, size_t width) {
  Bytes bytes(text.begin(), text.end());
  bytes.resize(width, 0);
  return bytes;
}

std::string history(size_t length) {
  std::string text;
  for (int line = 0; text.size() < length; ++line) {
    text += "A=PCM,F=48000,W=24,M=mono,T=step " + std::to_string(line) + "\r\n";
  }
  return text.substr(0, length);
}

// An RF64 file (ds64 with the RIFF size of `body`, no table) around the chunks in `body`.
Bytes rf64(const Bytes& body) {
  Bytes ds64(28, 0);
  storeLE64(ds64.data(), 0, 4 + 36 + body.size());
  Bytes file = RiffBuilder().id("RF64").raw({0xFF, 0xFF, 0xFF, 0xFF}).id("WAVE").bytes();
  const Bytes rest = RiffBuilder().chunk("ds64", ds64).raw(body).bytes();
  file.insert(file.end(), rest.begin(), rest.end());
  return file;
}

TEST_F(Write, ASaveChangesOnlyTheEditedFieldsOrNothing) {
  auto fresh = scanned(dir.write("n.wav", wave(nullptr)));
  EXPECT_EQ(fresh->getBWFChunkData()[9], 0) << "a new record holds nothing after a text's NUL";
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  // A file whose bext chunk of `payload` bytes (at offset 12) holds the time reference
  // `stored`, cut `cut` bytes short; the edits (none where null); the chunk's time reference
  // afterwards, or why the save is refused. A sample rate of 0 is mu-law audio.
  // clang-format off
  const struct { uint64_t stored; size_t payload, cut; uint32_t rate; float fps; const char *description, *timecode; uint64_t expected; const char* refusal; } kCases[] = {
      // A text edit, or the timecode shown (inside a frame, past 2^32 samples), keeps the time reference.
      {4147199000, 858, 0, 48000, 29.97f, "", nullptr, 4147199000, nullptr}, {7, 858, 0, 0, 25, "Mu-law", nullptr, 7, nullptr},
      {4492801000, 858, 0, 96000, 25, "x", "13:00:00:00", 4492801000, nullptr},
      // A changed timecode replaces both halves; 23:59:59:24's double sum lies just above (rounded up).
      {4492800000, 858, 0, 96000, 25, nullptr, "01:00:00:00", 345600000, nullptr}, {0, 858, 0, 96000, 25, nullptr, "20:00:00:00", 6912000000, nullptr},
      {0, 858, 0, 48000, 29.97f, nullptr, "00:00:00:01", 1602, nullptr}, {0, 858, 0, 48000, 25, nullptr, "23:59:59:24", 4147198081, nullptr},
      {0, 858, 0, 96000, 25, nullptr, "12:25:39:00", 4294944000, nullptr}, {0, 858, 0, 48000, 25, nullptr, "2147483647:00:00:00", 371085174201600000, nullptr},
      {0, 602, 0, 48000, 25, "Short chunk", "01:00:00:00", 172800000, nullptr},  // all but the coding history
      {5, 858, 0, 48000, 25, nullptr, "-1:00:00:00", 0, "lies before midnight"}, {5, 858, 0, 48000, 0.0f, nullptr, "00:00:00:05", 0, "more samples"},
      {5, 858, 0, 48000, kNaN, nullptr, "00:00:00:05", 0, "frame rate of nan"}, {5, 858, 0, 0, 25, nullptr, "01:00:00:00", 0, "no sample rate"},
      {5, 10, 0, 48000, 25, "EVIL EDIT", nullptr, 0, "holds 10 bytes, too few for the new Description"},
      {5, 0, 0, 48000, 25, "x", nullptr, 0, "holds 0 bytes"}, {5, 353, 0, 48000, 25, nullptr, "01:00:00:00", 0, "too few for the new TimeReference"},
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
    Bytes expected = file;
    if (c.description) std::ranges::copy(field(c.description, 256), expected.begin() + 20);
    if (c.timecode) std::copy_n(after.begin() + 358, 8, expected.begin() + 358);
    EXPECT_EQ(after, expected);
  }
}

TEST_F(Write, RefusesWhatItCannotWriteSafely) {
  Bytes junkFirst = wave(nullptr);
  junkFirst.insert(junkFirst.begin(), {'A', 'B', 'C', 'D'});
  const auto chunkOf = [](size_t payload, size_t at = 0, uint8_t value = 0) {
    BextFields f = kFields;
    f.payloadSize = payload;
    Bytes file = wave(&f);
    if (at) file[at] = value;
    return file;
  };
  const std::string unscanned = dir.write("u.wav", wave(nullptr));
  auto parser = BWFParser::initWithPath(unscanned);
  parser->setDescription("x");
  expectRefused(*parser, unscanned, "has not been scanned");
  using P = BWFParser&;
  // clang-format off
  const struct { Bytes file; std::function<void(P, Edits&)> edit; const char* why; } kCases[] = {
      {Bytes(99, 1), [](P p, Edits&) { p.setDescription("x"); }, "not a RIFF file"}, {junkFirst, [](P p, Edits&) { p.setDescription("x"); }, "does not begin with a RIFF header"},
      {chunkOf(858), [](P p, Edits&) { p.setDescription(std::string(257, 'd')); }, "Description is 257 bytes"},
      {chunkOf(858), [](P p, Edits&) { p.setOriginator(std::string(33, 'o')); }, "Originator is 33 bytes"},
      {chunkOf(858), [](P, Edits& e) { e.originatorReference = std::string(33, 'r'); }, "the OriginatorReference is 33 bytes long, and the field holds at most 32"},
      {chunkOf(858), [](P, Edits& e) { e.originationDate = "2025-3-04"; }, "the origination date \"2025-3-04\" is not yyyy-mm-dd"},
      {chunkOf(858), [](P, Edits& e) { e.originationTime = "1:02:03"; }, "the origination time \"1:02:03\" is not hh:mm:ss"},
      {chunkOf(858, 12 + 354, 1), [](P, Edits& e) { e.maxShortTermLoudness = -2000; }, "loudness fields need version 2, and the version would be 1"},
      {chunkOf(340), [](P, Edits& e) { e.originationTime = "01:02:03"; }, "holds 340 bytes, too few for the new OriginationTime"},
      {chunkOf(500), [](P, Edits& e) { e.codingHistory = "A=PCM\r\n"; }, "holds 500 bytes, too few for the fields before a coding history"},
      {chunkOf(858), [](P, Edits& e) { e.codingHistory = std::string((1 << 20) + 1, 'h'); }, "more than the 1048576"}};
  // clang-format on
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.why);
    const std::string path = dir.write("x.wav", c.file);
    parser = scanned(path);
    Edits edits;
    c.edit(*parser, edits);
    parser->setFieldEdits(edits);
    EXPECT_FALSE(parser->checkSave());
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
    bool ok = ::geteuid() != 0 || (::chown(dir.path.c_str(), 65534, 65534) == 0 &&
                                   ::setgid(65534) == 0 && ::setuid(65534) == 0);
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
  // Sparse files declaring so much audio that a larger chunk, or a new one, takes them past 4 GiB.
  for (const bool grow : {true, false}) {
    RiffBuilder b;
    if (b.riffHeader(), grow) b.bext(kFields);
    const uint32_t data = grow ? 0xFFFFF000 : 0xFFFFFC8B;
    const std::string path = dir.write("big.wav", b.chunkDeclaring("data", data, {}).bytes());
    const uint64_t size = std::filesystem::file_size(path) + data;
    ASSERT_EQ(::truncate(path.c_str(), off_t(size)), 0);
    parser = scanned(path);
    Edits edits;
    if (grow) edits.codingHistory = history(5000);
    parser->setFieldEdits(edits);
    EXPECT_FALSE(parser->saveFile());
    EXPECT_NE(parser->lastError().find(grow ? "the larger chunk would take the file past 4 GiB"
                                            : "a new chunk would take the file past 4 GiB"),
              std::string::npos)
        << parser->lastError();
    EXPECT_EQ(std::filesystem::file_size(path), size);
  }
}

TEST_F(Write, AnotherProgramsWorkIsNeverLost) {
  // An insertion is refused while another descriptor has the file open for writing (a recorder
  // would go on writing to the replaced file), when a writer opens it during the copy (heard
  // through the copy's progress), and when its modification time changes meanwhile. The file
  // keeps all of it.
  const std::string path = dir.write("rec.wav", wave(nullptr));
  const std::string writing = std::string(SoleWriter::kOpenForWriting) + "; nothing was written";
  const timespec longAgo[2] = {{0, UTIME_OMIT}, {1, 0}};
  // clang-format off
  const struct { int openBefore; std::function<void()> during; std::string why; } kCases[] = {
      {O_WRONLY, {}, writing}, {O_RDWR, {}, writing},
      {-1, [&] { const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
                 EXPECT_TRUE(fd < 0 && errno == EWOULDBLOCK) << "the writer did not meet a lease";
                 if (fd >= 0) ::close(fd); }, writing},
      {-1, [&] { ::utimensat(AT_FDCWD, path.c_str(), longAgo, 0); }, "the file changed while it was being saved; nothing was written"}};
  // clang-format on
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.why);
    auto parser = scanned(path);
    parser->setDescription("x");
    parser->setSaveProgress([&, done = false](uint64_t, uint64_t) mutable {
      if (c.during && !std::exchange(done, true)) c.during();
    });
    const int other = c.openBefore >= 0 ? ::open(path.c_str(), c.openBefore) : -1;
    expectRefused(*parser, path, c.why);
    if (other >= 0) ::close(other);
  }
  // A line that another program added to the coding history, past the record's 864 bytes,
  // stops a rewrite, a growth in place and a growth into a new file alike.
  BextFields longer = kFields;
  longer.codingHistory = history(300), longer.payloadSize = 1000;
  for (const auto& [junk, grow] : {std::pair{0, false}, {0, true}, {2048, true}}) {
    const std::string file =
        dir.write("h.wav", wave(&longer, ByteOrder::kNormal, 48000, 400, junk));
    auto parser = scanned(file);
    parser->setDescription("mine");
    Edits edits;
    if (grow) edits.codingHistory = history(900);
    parser->setFieldEdits(edits);
    std::fstream(file, std::ios::in | std::ios::out | std::ios::binary).seekp(12 + 8 + 902)
        << "A=PCM,T=theirs\r\n";
    expectRefused(*parser, file, "the bext chunk changed since the file was read");
    std::filesystem::remove(file);
  }
  // A reader (a player) stands in no save's way.
  const int player = ::open(path.c_str(), O_RDONLY);
  auto played = scanned(path);
  played->setDescription("x");
  EXPECT_TRUE(played->saveFile()) << played->lastError();
  ::close(player);
  // Where no lease can be had, the other processes' descriptors decide: a writer counts, a
  // reader does not, and a writer of this process is no other program's.
  const int own = ::open(path.c_str(), O_WRONLY);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  for (const int flags : {O_RDONLY, O_WRONLY}) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(own);
      const int fd = ::open(path.c_str(), flags);
      (void)!::write(ready[1], &fd, 1);
      ::pause();
    }
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_EQ(openForWritingElsewhere(info.st_dev, info.st_ino), flags == O_WRONLY);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]), ::close(ready[1]);
  }
  ::close(own);
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

TEST_F(Write, ANewFileKeepsTheOwnerOrIsNotWritten) {
  // A member of the group that may write another user's file cannot give a new file that user:
  // the insertion is refused before anything is copied, rather than take the file over.
  if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  const std::string path = dir.write("group.wav", wave(nullptr));
  ASSERT_EQ(::chown(path.c_str(), 1234, 65534) | ::chmod(path.c_str(), 0664) |
                ::chown(dir.path.c_str(), 65534, 65534),
            0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    auto parser = scanned(path);
    parser->setDescription("x");
    expectRefused(*parser, path,
                  "the new file could not be given the original's owner (uid 1234, group "
                  "65534): only its owner's account or root can save it by writing a new file; "
                  "nothing was written");
    ::_exit(HasFailure() ? 1 : 0);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
  struct stat info {};
  EXPECT_TRUE(::stat(path.c_str(), &info) == 0 && info.st_uid == 1234);
}

TEST_F(Write, ASaveRemovesTheTemporaryFilesOfKilledSaves) {
  // Only regular files of the exact form beside the same file go.
  const std::string path = dir.write("take.wav", wave(nullptr));
  for (const char* stale :
       {".take.wav.bextkit-0123456789abcdef.tmp", ".take.wav.bextkit-fedcba9876543210.tmp"}) {
    dir.write(stale, {1});
  }
  std::vector<std::string> kept = {path, dir.pathOf(".take.wav.bextkit-00000000000000ff.tmp")};
  ASSERT_EQ(::symlink("take.wav", kept.back().c_str()), 0);
  for (const char* other :
       {".take.wav.bextkit-0123456789ABCDEF.tmp", ".take.wav.bextkit-0123456789abcde.tmp",
        ".take.wa.bextkit-0123456789abcdef.tmp", "take.wav.bextkit-0123456789abcdef.tmp",
        ".take.wav.bextkit-0123456789abcdef.tmp~", ".take.wav.bextkit-0123456789abcdeg.tmp"}) {
    kept.push_back(dir.write(other, {1}));
  }
  std::sort(kept.begin(), kept.end());
  auto parser = scanned(path);
  parser->setDescription("x");
  ASSERT_TRUE(parser->saveFile()) << parser->lastError();
  EXPECT_EQ(entries(), kept);
}

TEST_F(Write, FieldEditsWriteTheirBytesAndNothingElse) {
  // Each edit of a file of `version` (whose reference is longer than the new one), where it lies
  // in the chunk and the bytes it leaves there, integers little-endian (swapped for RIFX).
  // clang-format off
  const struct { uint8_t version; std::function<void(Edits&)> edit; size_t offset; Bytes bytes; bool integer; } kCases[] = {
      {2, [](Edits& e) { e.originatorReference = "GB-ABC"; }, 296, field("GB-ABC", 32), false},
      {2, [](Edits& e) { e.originationDate = "2001-02-03"; }, 328, field("2001-02-03", 10), false},
      {2, [](Edits& e) { e.originationTime = "23:59:58"; }, 338, field("23:59:58", 8), false},
      {2, [](Edits& e) { e.umid = std::array<uint8_t, 64>{1, 2, 3}; }, 356, field("\1\2\3", 64), false},
      {2, [](Edits& e) { e.version = 1; }, 354, {0x01, 0x00}, true},
      {2, [](Edits& e) { e.loudnessValue = -2300, e.loudnessRange = 750, e.maxTruePeakLevel = -150, e.maxMomentaryLoudness = 0x7FFF, e.maxShortTermLoudness = -32767; },
       420, {0x04, 0xF7, 0xEE, 0x02, 0x6A, 0xFF, 0xFF, 0x7F, 0x01, 0x80}, true},
      {1, [](Edits& e) { e.version = 2, e.loudnessValue = 1; }, 420, {0x01, 0x00}, true}};
  // clang-format on
  for (const ByteOrder order : {ByteOrder::kNormal, ByteOrder::kBig}) {
    const bool big = order == ByteOrder::kBig;
    for (const auto& c : kCases) {
      SCOPED_TRACE(testing::Message()
                   << c.offset << " v" << int(c.version) << (big ? " RIFX" : ""));
      Bytes file = wave(&kFields, order);
      // UMID, loudness and reserved bytes that are no zeros, to be kept; the version.
      for (size_t i = 12 + 356; i < 12 + 610; ++i) file[i] = uint8_t(i * 7 + 1);
      file[12 + 354 + big] = c.version, file[12 + 354 + !big] = 0;
      const std::string path = dir.write("f.wav", file);
      auto parser = scanned(path);
      Edits edits, expectedFields = parser->storedFields();
      c.edit(edits), c.edit(expectedFields);
      parser->setFieldEdits(edits);
      ASSERT_TRUE(parser->saveFile()) << parser->lastError();
      Bytes expected = file, bytes = c.bytes;
      for (size_t i = 0; c.integer && big && i < bytes.size(); i += 2)
        std::swap(bytes[i], bytes[i + 1]);
      std::copy(bytes.begin(), bytes.end(), expected.begin() + 12 + c.offset);
      if (c.version == 1) expected[12 + 354 + big] = 2;
      EXPECT_EQ(readWholeFile(path), expected);
      EXPECT_TRUE(scanned(path)->storedFields() == expectedFields) << "read back otherwise";
      EXPECT_TRUE(parser->fieldEdits() == Edits()) << "a save clears the edits";
    }
  }
}

TEST_F(Write, ACodingHistoryFillsItsChunkOrALargerOne) {
  // A bext chunk of `payload` bytes (none when 0) holding `old`, in a RIFF, RIFX or RF64 file,
  // after the header or after the audio; the new history, and the chunk size it ends in (the
  // history, then zeros to the end of the chunk).
  // clang-format off
  const struct { ByteOrder order; bool rf64, last; size_t payload; std::string old; size_t length, expected; } kCases[] = {
      {ByteOrder::kNormal, false, false, 858, history(200), 40, 858},  // in place, the old one's tail cleared
      {ByteOrder::kNormal, false, false, 858, "", 256, 858},           // fills it exactly
      {ByteOrder::kNormal, false, false, 859, "A=PCM\r\n", 0, 859},    // none: zeros
      {ByteOrder::kNormal, false, false, 858, "A=PCM\r\n", 257, 860},  // one more: larger, even
      {ByteOrder::kNormal, false, false, 602, "", 100, 702},           // a chunk without one
      {ByteOrder::kBig, false, false, 649, "x", 301, 904},             // sizes big-endian
      {ByteOrder::kNormal, true, false, 858, "A=PCM\r\n", 1000, 1602}, // ds64's RIFF size
      {ByteOrder::kNormal, false, true, 649, "A=PCM\r\n", 500, 1102},  // after the audio, odd before
      {ByteOrder::kNormal, false, false, 0, "", 100, 858}};            // a new chunk
  // clang-format on
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.payload << " " << c.length << (c.rf64 ? " RF64" : ""));
    // A chunk that grows into a new file leaves a JUNK reserve after it.
    const bool reserve = c.payload && c.expected != c.payload;
    const auto build = [&](const std::string& text, size_t payload, bool junk = false) {
      BextFields fields = c.payload ? kFields : BextFields{"x", "", "", "2026-12-06", "21:00:05"};
      fields.codingHistory = text, fields.payloadSize = payload;
      RiffBuilder b(c.order);
      if (!c.rf64) b.riffHeader();
      if (payload && !c.last) b.bext(fields);
      if (junk && !c.last) b.chunk("JUNK", Bytes(BWFParser::kJunkReserve, 0));
      b.fmt(1, 1, 48000, 16).chunk("data", Bytes(1001, 0x11));
      if (payload && c.last) b.bext(fields);
      if (junk && c.last) b.chunk("JUNK", Bytes(BWFParser::kJunkReserve, 0));
      b.chunk("LIST", {'I', 'N', 'F', 'O'});
      return c.rf64 ? rf64(b.bytes()) : b.bytes();
    };
    const std::string path = dir.write("h.wav", build(c.old, c.payload));
    auto parser = scanned(path);
    Edits edits;
    edits.codingHistory = history(c.length);
    parser->setFieldEdits(edits);
    if (c.payload == 0) parser->setDescription("x");
    EXPECT_EQ(parser->chunkSizeToWrite(), c.expected);
    EXPECT_EQ(parser->saveWritesNewFile(), c.payload == 0 || c.expected != c.payload);
    ASSERT_TRUE(parser->saveFile()) << parser->lastError();
    EXPECT_EQ(readWholeFile(path), build(history(c.length), c.expected, reserve));
    EXPECT_EQ(parser->fullCodingHistory(), c.length ? history(c.length) : "None");
    // The parser knows the chunk it wrote: the next save rewrites it in place.
    parser->setDescription("again");
    EXPECT_FALSE(parser->saveWritesNewFile());
    ASSERT_TRUE(parser->saveFile()) << parser->lastError();
    EXPECT_EQ(scanned(path)->description(), "again");
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

std::string chainOf(const std::string& path);

TEST_F(Write, EveryFailingOrKilledStepLeavesTheFileAsItWas) {
  // Insertions through a symbolic link into files whose audio spans several copy blocks, with an
  // unnamed temporary file copied in the kernel and a named one (into a reversed file) copied
  // through a buffer; a larger chunk for a longer coding history in a RIFX file, and one grown in
  // place into the JUNK chunk after it; and a rewrite. A new file keeps the link, the
  // permissions and the attributes.
  const size_t audio = (2 << 20) + 12345;
  // clang-format off
  const struct { ByteOrder order; const BextFields* bext; size_t audio, junk; bool kernelCopy, unnamedFiles, grow; int faults; } kPaths[] = {
      {ByteOrder::kNormal, nullptr, audio, 0, true, true, false, 13}, {ByteOrder::kReversed, nullptr, audio, 0, false, false, false, 23},
      {ByteOrder::kBig, &kFields, audio, 0, false, true, true, 24}, {ByteOrder::kNormal, &kFields, 400, 0, true, true, false, 5},
      {ByteOrder::kNormal, &kFields, 400, 4096, true, true, true, 6}};
  // clang-format on
  const std::string path = dir.pathOf("take.wav"), link = dir.pathOf("link.wav");
  ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
  for (const auto& p : kPaths) {
    const Bytes original = wave(p.bext, p.order, 48000, p.audio, p.junk);
    const auto edited = [&](std::unique_ptr<BWFParser> parser) {
      parser->setDescription("after");
      Edits edits;
      if (p.grow) edits.codingHistory = history(2000);
      parser->setFieldEdits(edits);
      return parser;
    };
    const auto fresh = [&] {
      dir.write("take.wav", original);
      ::chmod(path.c_str(), 0640);
      ::setxattr(path.c_str(), "user.test", "WAVEbext", 8, 0);
      ::setxattr(path.c_str(), "user.empty", "", 0, 0);
      return edited(scanned(link));
    };
    auto parser = fresh();
    ASSERT_TRUE(parser->saveFile());
    const Bytes saved = readWholeFile(path);  // as a healthy disk writes it
    RiffBuilder inserted(p.order);            // the new chunk after the header: record, two zeros
    inserted.riffHeader().bext({"after", "", "", "2026-12-06", "21:00:05", 0, "A=PCM\r\n"});
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
        // Growth in place leaves a whole chain at every step: the original's chunks, or the
        // saved ones.
        const Bytes after = readWholeFile(path);
        const std::string chain = chainOf(path);
        const auto chainOfBytes = [&](const Bytes& bytes) {
          const std::string other = chainOf(dir.write("other.wav", bytes));
          std::filesystem::remove(dir.pathOf("other.wav"));
          return other;
        };
        EXPECT_TRUE(after == original || after == saved ||
                    (p.junk && (chain == chainOfBytes(original) || chain == chainOfBytes(saved))))
            << "neither the original nor complete: " << chain;
        parser = edited(scanned(link));
        EXPECT_TRUE(parser->saveFile() && readWholeFile(path) == saved);
        EXPECT_TRUE(::stat(path.c_str(), &info) == 0 && info.st_nlink == 1)
            << "a second name of the file";
        EXPECT_EQ(entries(), names) << "the next save left what the kill left beside the file";
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

namespace bextkit::testsupport {
namespace {

// The chunks a file's chain holds, as "ID:size" and "broken" where it breaks.
std::string chainOf(const std::string& path) {
  auto file = FileHandle::openForReading(path);
  const ChunkChain chain = walkChunkChain(*file, file->seekToEndOfFile());
  std::string text;
  for (const ChainChunk& c : chain.chunks) text += c.id.str() + ":" + std::to_string(c.size) + " ";
  return text + (chain.broken ? "broken" : "");
}

TEST_F(Write, DamagedLayoutsAreSavedWholeOrRefused) {
  // Layouts that writers and damage produce, each edited four ways: the result keeps every chunk
  // (the audio found where it was, by its ID) or the save is refused with nothing written.
  BextFields odd = kFields;
  odd.payloadSize = 615;
  const Bytes audio(400, 0x11);
  const auto layout = [&](int kind) {
    RiffBuilder b;
    b.riffHeader();
    if (kind == 0) b.chunk("bext", bextPayload(odd), false);              // pad byte missing
    if (kind == 1) b.chunk("bext", bextPayload(odd), false).raw({0x7F});  // non-zero pad
    if (kind >= 2) b.bext(kFields);
    if (kind == 3) b.raw({'x', 0x01, 0x02});  // the chain breaks after bext
    b.fmt(1, 2, 48000, 16).chunk("data", audio);
    if (kind == 2) b.raw({1, 2, 3});  // bytes after the last chunk
    return b.bytes();
  };
  // RF64 headers whose ds64 chunk declares its size in ds64 (2^40 by its table, or 4 GiB
  // without one), declares none, or runs past the end of the file.
  const auto rf64Declaring = [](uint32_t size, Bytes ds64) {
    const Bytes head = RiffBuilder().id("RF64").raw({0xFF, 0xFF, 0xFF, 0xFF}).id("WAVE").bytes();
    return RiffBuilder().raw(head).chunkDeclaring("ds64", size, ds64).bytes();
  };
  Bytes table(28, 0);
  table[24] = 1;
  table.insert(table.end(), {'d', 's', '6', '4', 0, 0, 0, 0, 0, 1, 0, 0});
  const std::vector<Bytes> files = {layout(0),
                                    layout(1),
                                    layout(2),
                                    layout(3),
                                    rf64Declaring(0xFFFFFFFF, table),
                                    rf64Declaring(0xFFFFFFFF, Bytes(28, 0)),
                                    rf64Declaring(0, {}),
                                    rf64Declaring(40, Bytes(30, 0)),  // cut short
                                    wave(nullptr)};
  for (size_t f = 0; f < files.size(); ++f) {
    for (int op = 0; op < 4; ++op) {  // grow the history, rewrite the description, dry runs
      SCOPED_TRACE(testing::Message() << "layout " << f << " edit " << op);
      const std::string path = dir.write("d.wav", files[f]);
      const std::string before = chainOf(path);
      auto parser = scanned(path);
      parser->setDescription("edited");
      Edits edits;
      if (op % 2 == 0) edits.codingHistory = history(900);
      parser->setFieldEdits(edits);
      const bool saved = op < 2 ? parser->saveFile() : parser->checkSave();
      if (f >= 4 && f <= 7) {  // the hostile sizes are refused, by the dry run too
        EXPECT_FALSE(saved);
        EXPECT_NE(parser->lastError().find("ds64"), std::string::npos) << parser->lastError();
      }
      if (!saved || op >= 2) {
        EXPECT_EQ(readWholeFile(path), files[f]) << parser->lastError();
        continue;
      }
      const std::string after = chainOf(path);
      const bool broken = before.find("broken") != std::string::npos;
      EXPECT_EQ(after.find("broken") != std::string::npos, broken);
      EXPECT_TRUE(broken || after.find("fmt :16 data:400 ") != std::string::npos) << after;
      const Bytes bytes = readWholeFile(path);
      EXPECT_NE(std::search(bytes.begin(), bytes.end(), audio.begin(), audio.end()), bytes.end());
      EXPECT_EQ(scanned(path)->description(), "edited");
    }
  }
}

TEST_F(Write, ALargerChunkGrowsInPlaceWhereThereIsRoom) {
  // The chunk (858 bytes) grows to 1002 and then 1062 bytes. After it: a filler with room to
  // spare, one with a few bytes more than needed (the chunk takes them), one with too little
  // room at the end of the file (a JUNK chunk is appended first) or before another chunk (a new
  // file, with a JUNK reserve after the chunk), nothing (the file grows at its end), the audio.
  using Way = BWFParser::SaveWay;
  constexpr Way kIn = Way::kGrowInPlace, kAnew = Way::kWriteAnew;
  // clang-format off
  const struct { bool first; const char* filler; size_t room; bool list, rf64; Way way, next; std::string chain; } kCases[] = {
      {false, "JUNK", 2048, true, false, kIn, kIn, "fmt :16 data:1000 bext:1002 JUNK:1904 LIST:4 "},
      {false, "FLLR", 140, true, false, kIn, kAnew, "fmt :16 data:1000 bext:1006 LIST:4 "},
      {false, "PAD ", 100, true, false, kAnew, kIn, "fmt :16 data:1000 bext:1002 JUNK:1024 PAD :100 LIST:4 "},
      {false, "PAD ", 4, false, false, kIn, kIn, "fmt :16 data:1000 bext:1002 "},
      {false, nullptr, 0, false, false, kIn, kIn, "fmt :16 data:1000 bext:1002 "},
      {false, nullptr, 0, false, true, kIn, kIn, "ds64:28 fmt :16 data:1000 bext:1002 "},
      {true, nullptr, 0, false, false, kAnew, kIn, "bext:1002 JUNK:1024 fmt :16 data:1000 "}};
  // clang-format on
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.chain);
    RiffBuilder b;
    if (!c.rf64) b.riffHeader();
    if (c.first) b.bext(kFields);
    b.fmt(1, 1, 48000, 16).chunk("data", Bytes(1000, 0x22));
    if (!c.first) b.bext(kFields);
    if (c.filler) b.chunk(c.filler, Bytes(c.room, 0));
    if (c.list) b.chunk("LIST", {'I', 'N', 'F', 'O'});
    const std::string path = dir.write("g.wav", c.rf64 ? rf64(b.bytes()) : b.bytes());
    auto parser = scanned(path);
    for (const size_t length : {400, 460}) {
      Edits edits;
      edits.codingHistory = history(length);
      parser->setFieldEdits(edits);
      EXPECT_EQ(parser->saveWay(), length == 400 ? c.way : c.next);
      ASSERT_TRUE(parser->saveFile()) << parser->lastError();
      EXPECT_TRUE(length != 400 || chainOf(path) == c.chain) << chainOf(path);
      const Bytes bytes = readWholeFile(path);
      EXPECT_EQ((c.rf64 ? loadLE64(bytes.data(), 20) : loadLE32(bytes.data(), 4)) + 8, bytes.size())
          << "the form's size";
      EXPECT_EQ(scanned(path)->fullCodingHistory(), history(length));
      const Bytes audio(1000, 0x22);
      EXPECT_NE(std::search(bytes.begin(), bytes.end(), audio.begin(), audio.end()), bytes.end());
    }
  }
}

}  // namespace
}  // namespace bextkit::testsupport
