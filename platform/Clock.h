// The current date and time as the text "yyyy-mm-dd hh:mm:ss +zzzz" (local time and its offset
// from UTC). Tests replace the source to get a fixed date.
#pragma once

#include <functional>
#include <string>

namespace bextkit {

using DateTextSource = std::function<std::string()>;

std::string currentDateText();

// Installs `source` and returns the previous one; an empty source restores the system clock.
DateTextSource setDateTextSource(DateTextSource source);

}  // namespace bextkit
