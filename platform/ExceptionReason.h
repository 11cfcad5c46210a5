// The reason an exception gives, worded for a person: "out of memory" for std::bad_alloc, what()
// for any other standard exception. The entry points (the command line's per-file work, the
// script bridge, the desktop application's save thread) catch whatever a file's work throws and
// report it as that file's failure with this text.
#pragma once

#include <exception>
#include <new>
#include <string>

namespace bextkit {

// Only inside a catch block: the reason of the exception being handled.
inline std::string currentExceptionReason() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& e) {
    const std::string what = e.what();
    return what.empty() ? "an unexpected error" : what;
  } catch (...) {
    return "an unexpected error";
  }
}

}  // namespace bextkit
