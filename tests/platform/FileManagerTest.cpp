// FileManager checked against the raw attribute: each code's four bytes of
// user.com.apple.FinderInfo, the other bytes kept, and refusals that change nothing.
#include "platform/FileManager.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "Support.h"

namespace bextkit {
namespace {

using namespace std::string_literals;
using Raw = std::optional<std::string>;  // the attribute's bytes; nothing when there is none
constexpr const char* kName = "user.com.apple.FinderInfo";
const std::string k32 = "0123456789abcdefghijklmnopqrstuv", kZeros(24, '\0');

TEST(FileManager, SetsOnlyTheCodesFourBytesOfARegularFile) {
  enum Kind { kFile, kLink, kMissing, kFolder };  // what the path names; a link names a file
  // clang-format off
  const struct { Kind kind; Raw before; bool type; std::string code; int error; Raw after; std::string codes; } kCases[] = {
      {kFile, {}, true, "WAVE", 0, "WAVE\0\0\0\0"s + kZeros, "'WAVE'''"},
      {kFile, {}, false, "bext", 0, "\0\0\0\0bext"s + kZeros, "'''bext'"},
      {kFile, k32, true, "    ", 0, "    " + k32.substr(4), "'    ''4567'"},
      {kFile, k32, false, "bext", 0, "0123bext" + k32.substr(8), "'0123''bext'"},
      {kFile, k32, false, "\0\0\0T"s, 0, "0123\0\0\0T"s + k32.substr(8), "'0123''\0\0\0T'"s},
      {kFile, k32, true, "\x01'\n\xFF", 0, "\x01'\n\xFF" + k32.substr(4), "'\x01'\n\xFF''4567'"},
      {kFile, "ABCDEF", false, "bext", 0, "ABCDbext" + kZeros, "'ABCD''bext'"},
      {kFile, k32 + "wxyz", false, "bext", 0, "0123bext" + k32.substr(8) + "wxyz", "'0123''bext'"},
      {kFile, "ABCDEF", true, "ABC", EINVAL, "ABCDEF", "'ABCD'''"},
      {kFile, k32, true, "", EINVAL, k32, "'0123''4567'"},
      {kFile, k32, false, "ABCDE", EINVAL, k32, "'0123''4567'"},
      {kLink, k32, true, "TEXT", ELOOP, k32, "'0123''4567'"},  // read through the link
      {kMissing, {}, false, "TEXT", ENOENT, {}, "''''"},
      {kFolder, k32, true, "TEXT", EPERM, k32, "''''"}};  // a folder's bytes are no codes
  // clang-format on
  testsupport::TempDir dir;
  if (::setxattr(dir.path.c_str(), "user.probe", "", 0, 0) != 0 && errno == ENOTSUP) {
    GTEST_SKIP() << dir.path << " keeps no user extended attributes";
  }
  for (const auto& c : kCases) {
    const std::string name = std::to_string(&c - kCases), file = dir.pathOf(name);
    SCOPED_TRACE("case " + name);
    const std::string path = c.kind == kLink ? file + ".link" : file;
    int failed = c.kind == kFolder ? ::mkdir(file.c_str(), 0700) : 0;
    if (c.kind == kFile || c.kind == kLink) dir.write(name, {'R', 'I', 'F'});
    if (c.kind == kLink) failed |= ::symlink(file.c_str(), path.c_str());
    if (c.before) failed |= ::setxattr(file.c_str(), kName, c.before->data(), c.before->size(), 0);
    const timespec times[2] = {{1000000000, 0}, {1000000000, 456789}};
    if (c.kind != kMissing) failed |= ::utimensat(AT_FDCWD, file.c_str(), times, 0);
    ASSERT_EQ(failed, 0) << std::strerror(errno);
    errno = 0;
    EXPECT_EQ(
        c.type ? FileManager::setTypeCode(c.code, path) : FileManager::setCreatorCode(c.code, path),
        c.error == 0);
    EXPECT_EQ(c.error ? errno : 0, c.error);
    char bytes[64];
    const ssize_t n = ::lgetxattr(file.c_str(), kName, bytes, sizeof bytes);
    EXPECT_EQ(n < 0 ? Raw() : Raw(std::string(bytes, size_t(n))), c.after);
    EXPECT_EQ(FileManager::typeCodeAtPath(path) + FileManager::creatorCodeAtPath(path), c.codes);
    struct stat st {};
    EXPECT_EQ(::stat(file.c_str(), &st) == 0, c.kind != kMissing) << "a missing file stays missing";
    if (c.kind == kMissing) continue;
    EXPECT_EQ(st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec, 1000000000000456789);
    if (c.kind == kFolder) continue;
    EXPECT_EQ(testsupport::readWholeFile(file), (testsupport::Bytes{'R', 'I', 'F'}));
  }
}

}  // namespace
}  // namespace bextkit
