// Pieces shared by the timecode operations' source files; not part of the public interface.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace bextkit::detail {

// ":" at an integral rate, ";" otherwise.
std::string_view fieldSeparator(float fps);
void splitFields(std::string_view text, std::string_view separator, std::array<int32_t, 4>& vector);
bool isLegalFields(const std::array<int32_t, 4>& fields);
int32_t framesFromFields(std::array<int32_t, 4> fields, float fps);

}  // namespace bextkit::detail
