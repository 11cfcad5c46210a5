// What the fuzz targets share: a folder of their own on a memory file system where the system
// has one (saves there cost no disk), files written into it, and a library that stays quiet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace bextkit::fuzz {

// The folder, made on first use (under /dev/shm, else $TMPDIR or /tmp) and removed at exit.
const std::string& folder();
// Writes `size` bytes to folder()/name, replacing what was there; its path, or empty when the
// file cannot be written.
std::string writeFile(const std::string& name, const uint8_t* data, size_t size);
// Sends the library's log messages nowhere.
void quietLog();

}  // namespace bextkit::fuzz
