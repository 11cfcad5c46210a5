// The audio digest: known digests in every form, md5 --embed and --verify as a user runs them,
// refusals and undone failures, peers reading a file after --embed, and set --verify-audio.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <functional>
#include <memory>
#include <sstream>

#include "Support.h"
#include "bwf/ByteOrder.h"
#include "check/AudioDigest.h"
#include "cli/Cli.h"
#include "platform/FileHandle.h"

namespace bextkit::check {
namespace {

using testsupport::ByteOrder, testsupport::Bytes, testsupport::RiffBuilder, testsupport::TempDir;
using testsupport::readWholeFile, testsupport::runProcess;

constexpr const char* kAbc = "900150983cd24fb0d6963f7d28e17f72";  // MD5("abc")
const Bytes kAbcBytes = {'a', 'b', 'c'};

// The exit status, a space, then what the command printed (stdout and stderr together).
std::string bextkit(const std::vector<std::string>& args) {
  std::ostringstream out;
  const int status = cli::run(args, out, out);
  return std::to_string(status) + " " + out.str();
}
bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
bool succeeds(const std::vector<std::string>& command) { return runProcess(command).first == 0; }

// A mono 8-bit file holding `audio`, followed by a LIST chunk, in each form; RF64 keeps its
// sizes in ds64.
Bytes wave(const std::string& form, const Bytes& audio) {
  const Bytes list = {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 2, 0, 0, 0, 'x', 0};
  if (form == "RF64") {
    Bytes ds64(28);
    storeLE64(ds64.data(), 8, audio.size());
    RiffBuilder b;
    b.chunkDeclaring("RF64", 0xFFFFFFFF, {}).id("WAVE").chunk("ds64", ds64).fmt(1, 1, 8000, 8);
    b.chunkDeclaring("data", 0xFFFFFFFF, audio).raw(Bytes(audio.size() % 2)).chunk("LIST", list);
    Bytes bytes = b.bytes();
    storeLE64(bytes.data(), 20, bytes.size() - 8);
    return bytes;
  }
  RiffBuilder b(form == "RIFX"   ? ByteOrder::kBig
                : form == "FFIR" ? ByteOrder::kReversed
                                 : ByteOrder::kNormal);
  return b.riffHeader().fmt(1, 1, 8000, 8).chunk("data", audio).chunk("LIST", list).bytes();
}

TEST(AudioDigest, KnownDigestsAndRefusals) {
  TempDir dir;
  // clang-format off
  const struct { std::string name; Bytes file; std::string digest; } kCases[] = {
      {"riff", wave("RIFF", kAbcBytes), kAbc}, {"rifx", wave("RIFX", kAbcBytes), kAbc},
      {"ffir", wave("FFIR", kAbcBytes), kAbc}, {"rf64", wave("RF64", kAbcBytes), kAbc},
      {"empty", wave("RIFF", {}), "d41d8cd98f00b204e9800998ecf8427e"},
      {"cut", RiffBuilder().riffHeader().chunkDeclaring("data", 4, kAbcBytes).bytes(),
       "the data chunk declares 4 bytes and runs past the end of the file"},
      {"text", {'a', 'b', 'c'}, "not a WAV file"}};
  // clang-format on
  for (const auto& [name, file, digest] : kCases) {
    std::string why;
    const std::optional<Digest> d = audioDigest(dir.write(name + ".wav", file), why);
    EXPECT_EQ(d ? d->hex() : why.substr(0, digest.size()), digest) << name;
  }
  // Blocks of 2 bytes from offset 1: a full block, a short one, and nothing past the range.
  const auto file = FileHandle::openForReading(dir.write("blocks.raw", {'x', 'a', 'b', 'c', 'y'}));
  std::string why;
  EXPECT_EQ(digestOfRange(*file, 1, 3, why, 2).value_or(Digest{}).hex(), kAbc) << why;
}

TEST(AudioDigest, EmbedVerifyAndUpdateInEachForm) {
  TempDir dir;
  // The form, where its size field is, whether that is big-endian or 64-bit, how the ID is stored.
  // clang-format off
  const struct { const char* form; size_t sizeAt; bool big, wide; const char* id; } kForms[] = {
      {"RIFF", 4, false, false, "MD5 "}, {"RIFX", 4, true, false, "MD5 "},
      {"FFIR", 4, true, false, " 5DM"}, {"RF64", 20, false, true, "MD5 "}};
  // clang-format on
  for (const auto& f : kForms) {
    SCOPED_TRACE(f.form);
    const std::string path = dir.write(std::string(f.form) + ".wav", wave(f.form, kAbcBytes));
    const auto md5 = [&](const char* option) { return bextkit({"md5", option, path}); };
    const size_t before = readWholeFile(path).size();
    EXPECT_EQ(md5("--verify"), "1 " + path + ": no MD5 chunk\n");
    EXPECT_EQ(md5("--embed"), "0 " + std::string(kAbc) + "  " + path + "  embedded\n");
    Bytes bytes = readWholeFile(path);
    ASSERT_EQ(bytes.size(), before + 24);
    EXPECT_EQ(f.wide  ? loadLE64(bytes.data(), f.sizeAt)
              : f.big ? loadBE32(bytes.data(), f.sizeAt)
                      : loadLE32(bytes.data(), f.sizeAt),
              bytes.size() - 8);
    EXPECT_EQ(std::string(bytes.end() - 24, bytes.end() - 20), f.id);
    EXPECT_EQ(md5("--verify"), "0 " + path + ": OK\n");
    EXPECT_EQ(md5("--embed"), "0 " + std::string(kAbc) + "  " + path + "  already stored\n");
    EXPECT_EQ(readWholeFile(path), bytes);
    // One changed audio byte: --verify fails; --embed --force updates the chunk in place.
    std::search(bytes.begin(), bytes.end(), kAbcBytes.begin(), kAbcBytes.end())[1] = 'B';
    dir.write(std::string(f.form) + ".wav", bytes);
    const std::string aBc = "dbbbbe4975e026e04a687871f296a2b2";  // MD5("aBc")
    EXPECT_EQ(md5("--verify"), "1 " + path + ": FAILED (stored " + kAbc + ", audio " + aBc + ")\n");
    EXPECT_EQ(
        bextkit({"md5", "--embed", "--force", path}),
        "0 " + aBc + "  " + path + "  replaced " + kAbc + ", which differed from the audio\n");
    EXPECT_EQ(readWholeFile(path).size(), bytes.size());
    EXPECT_EQ(md5("--verify"), "0 " + path + ": OK\n");
  }
}

TEST(AudioDigest, RefusalsLeaveTheFileAsItWas) {
  TempDir dir;
  const auto withData = [] { return RiffBuilder().riffHeader().chunk("data", kAbcBytes); };
  // clang-format off
  const std::pair<Bytes, std::string> kRefused[] = {
      {RiffBuilder().riffHeader().fmt(1, 1, 8000, 8).bytes(), "the file has no data chunk"},
      {RiffBuilder().riffHeader().chunk("data", kAbcBytes, false).bytes(), "the last chunk, 'data', has an odd size and lacks its pad byte"},
      {withData().raw({0, 1, 2, 3, 4, 5, 6, 7}).bytes(), "the chunk list breaks at offset 24"},
      {withData().raw({1, 2}).bytes(), "the file holds 2 bytes after its last chunk"},
      {withData().chunk("MD5 ", Bytes(20)).bytes(), "the MD5 chunk holds 20 bytes, not 16"},
      {withData().chunkDeclaring("MD5 ", 20, Bytes(4)).bytes(), "the MD5 chunk declares 20 bytes but only 4 remain in the file"}};
  // clang-format on
  for (const auto& [file, reason] : kRefused) {
    const std::string path = dir.write("refused.wav", file);
    std::string why;
    EXPECT_FALSE(embedDigest(path, Digest{}, false, why));
    EXPECT_TRUE(why.starts_with(reason) && why.ends_with("; nothing was written")) << why;
    EXPECT_EQ(readWholeFile(path), file);
  }
}

// File operations under which the `at`th write or flush fails after doing half (or kills the
// process there), and nothing is written past `limit`, as under ulimit -f with SIGXFSZ ignored.
FileOperations faultyDisk(int at, bool kill, uint64_t limit = UINT64_MAX) {
  FileOperations ops = posixFileOperations();
  const auto hit = [at, kill, calls = std::make_shared<int>(0)](const std::function<void()>& half) {
    if (++*calls != at) return false;
    half();
    if (kill) ::raise(SIGKILL);
    return true;
  };
  ops.pwrite = [=, real = ops.pwrite](int fd, const void* b, size_t n, uint64_t to) -> ssize_t {
    if (to >= limit) return errno = EFBIG, -1;
    n = static_cast<size_t>(std::min<uint64_t>(n, limit - to));
    return hit([&] { real(fd, b, n / 2, to); }) ? (errno = ENOSPC, -1) : real(fd, b, n, to);
  };
  ops.fsync = [=, real = ops.fsync](int fd) { return hit([] {}) ? (errno = EIO, -1) : real(fd); };
  return ops;
}

TEST(AudioDigest, StoredDigestIsEvidenceAndInterruptedEmbeddingsAreMended) {
  TempDir dir;
  const std::string path = dir.pathOf("take.wav"), done = "0 " + std::string(kAbc) + "  " + path;
  const std::string
      aBc = "dbbbbe4975e026e04a687871f296a2b2",
      rewritten =
          done +
          "  embedded; "
          "repaired: the MD5 chunk that an interrupted embedding left cut short is written anew\n";
  const auto md5 = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "md5");
    args.push_back(path);
    return bextkit(args);
  };
  for (const auto& [form, sizeAt, width] : {std::tuple{"RIFF", 4, 4}, std::tuple{"RF64", 20, 8}}) {
    SCOPED_TRACE(form);
    const auto embedded = [&](const Bytes& audio) {  // as checked in EmbedVerifyAndUpdateInEachForm
      dir.write("take.wav", wave(form, audio));
      EXPECT_EQ(md5({"--embed"}).substr(0, 2), "0 ");
      return readWholeFile(path);
    };
    const Bytes plain = wave(form, kAbcBytes), good = embedded(kAbcBytes);
    const Bytes other = embedded({'a', 'B', 'c'});
    Bytes differs = good, outside = good;  // the digest of other audio; the form's size not grown
    std::copy(other.end() - 16, other.end(), differs.end() - 16);
    std::copy_n(plain.begin() + sizeAt, width, outside.begin() + sizeAt);
    const auto cut = [&](size_t length) {  // the start of the chunk, the form's size not grown
      Bytes bytes = outside;
      return bytes.resize(plain.size() + length), bytes;
    };
    // clang-format off
    const struct { Bytes file; std::vector<std::string> options; std::string said; Bytes after; } kCases[] = {
        {good, {"--embed"}, done + "  already stored\n", good},
        {differs, {"--embed"}, "1 bextkit: " + path + ": the MD5 chunk holds " + aBc + ", but the audio's MD5 is " + kAbc + ": the audio has changed since the digest was stored; nothing was written (--force replaces it)\n", differs},
        {differs, {"--embed", "--force"}, done + "  replaced " + aBc + ", which differed from the audio\n", good},
        {outside, {"--embed"}, done + "  already stored; repaired: the form's size now counts the MD5 chunk that an interrupted embedding left past its end\n", good},
        {cut(13), {"--verify"}, "1 bextkit: " + path + ": the MD5 chunk declares 16 bytes but only 5 remain in the file\n", cut(13)},
        {cut(13), {"--embed"}, rewritten, good}, {cut(5), {"--embed"}, rewritten, good}};
    // clang-format on
    for (const auto& c : kCases) {
      dir.write("take.wav", c.file);
      EXPECT_EQ(md5(c.options), c.said);
      EXPECT_EQ(readWholeFile(path), c.after) << c.said;
    }
    // Each write and flush of the append fails (the file is as it was), or the process is killed
    // there (the next --embed completes the file); the file may not grow, or grow 5 or 13 bytes.
    const auto faulty = [&](const FileOperations& ops, const std::string& said) {
      dir.write("take.wav", plain);
      setFileOperations(ops);
      const std::string result = md5({"--embed"});
      setFileOperations(posixFileOperations());
      EXPECT_PRED2(has, result, "1 bextkit: cannot save " + path + ": " + said);
      EXPECT_PRED2(has, result, "; the file was restored\n");
      EXPECT_EQ(readWholeFile(path), plain) << result;
    };
    for (int at = 1; at <= 4; ++at) {
      faulty(faultyDisk(at, false), at % 2 ? "write failed" : "");
      const pid_t child = ::fork();
      if (child == 0) {
        setFileOperations(faultyDisk(at, true));
        ::_exit(md5({"--embed"}).empty());
      }
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << at;
      const Bytes left = readWholeFile(path);  // what lies past the form's declared end aside
      EXPECT_TRUE(left == good || (left.size() > plain.size() &&
                                   std::equal(plain.begin(), plain.end(), left.begin())));
      EXPECT_EQ(md5({"--embed"}).substr(0, 2), "0 ");
      EXPECT_EQ(readWholeFile(path), good) << at;
    }
    for (uint64_t grown : {0, 5, 13})
      faulty(faultyDisk(0, false, plain.size() + grown), "write failed: File too large");
  }
}

TEST(AudioDigest, PeersReadTheFileAfterEmbed) {
  for (const char* peer : {"ffmpeg", "sndfile-convert", "mediainfo"})
    if (!succeeds({"sh", "-c", std::string("command -v ") + peer})) GTEST_SKIP() << peer;
  TempDir dir;
  for (const std::string form : {"riff", "rf64"}) {
    SCOPED_TRACE(form);
    const std::string path = dir.pathOf(form + ".wav"), pcm = dir.pathOf("audio.raw");
    ASSERT_TRUE(
        succeeds({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=997:sample_rate=48000", "-t",
                  "1", "-rf64", form == "rf64" ? "always" : "never", path}));
    const auto decode = [&](const std::vector<std::string>& command) {
      EXPECT_TRUE(succeeds(command)) << command[0];
      return readWholeFile(pcm);
    };
    const auto decodings = [&] {
      return std::vector{
          decode({"ffmpeg", "-v", "error", "-y", "-i", path, "-c:a", "copy", "-f", "s16le", pcm}),
          decode({"sndfile-convert", "-pcm16", path, pcm})};
    };
    const std::vector<Bytes> before = decodings();
    ASSERT_EQ(before[0].size(), 96000u);
    std::string md5sum = runProcess({"md5sum", pcm}).second.substr(0, 32);
    EXPECT_EQ(bextkit({"md5", "--embed", path}), "0 " + md5sum + "  " + path + "  embedded\n");
    EXPECT_EQ(decodings(), before);
    std::transform(md5sum.begin(), md5sum.end(), md5sum.begin(), ::toupper);
    EXPECT_EQ(runProcess({"mediainfo", "--Inform=Audio;%MD5%", path}).second, md5sum + "\n");
  }
}

TEST(AudioDigest, SetVerifyAudio) {
  TempDir dir;
  const std::vector<std::string> set = {"set", dir.write("take.wav", wave("RIFF", kAbcBytes)),
                                        "--description", "Take 1", "--verify-audio"};
  EXPECT_PRED2(has, bextkit(set), std::string("  the audio is unchanged (MD5 ") + kAbc + ")\n");
  // A copy that changes a byte of the audio is caught, and the original is kept.
  const Bytes large =
      RiffBuilder().riffHeader().fmt(1, 1, 8000, 8).chunk("data", Bytes(20000, 7)).bytes();
  dir.write("take.wav", large);
  FileOperations ops = posixFileOperations();
  ops.copyFileRange = [](int, uint64_t, int, uint64_t, size_t) -> ssize_t {
    return errno = EXDEV, -1;
  };
  ops.pwrite = [real = ops.pwrite](int fd, const void* b, size_t n, uint64_t at) {
    Bytes bytes(static_cast<const uint8_t*>(b), static_cast<const uint8_t*>(b) + n);
    if (n > 10000) bytes[n - 1] ^= 1;
    return real(fd, bytes.data(), n, at);
  };
  setFileOperations(ops);
  const std::string r = bextkit(set);
  setFileOperations(posixFileOperations());
  EXPECT_EQ(r.substr(0, 2), "1 ");
  EXPECT_PRED2(
      has, r,
      "cannot save " + set[1] + ": the audio in the new file differs from the original (MD5 ");
  EXPECT_PRED2(has, r, ", was 0f2aef864ab1269a0702286dcc7f06fc); the original is kept\n");
  EXPECT_EQ(readWholeFile(set[1]), large);
}

}  // namespace
}  // namespace bextkit::check
