// The audio's MD5 stored in a file's MD5 chunk, as md5 --embed stores it, for every command that
// embeds a digest it computed (md5, loudness --embed-md5).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "check/AudioDigest.h"
#include "platform/FileHandle.h"

namespace bextkit::cli {

// Stores `digest` in the MD5 chunk of `file` (opened for saving, named `path`) and closes it.
// Nothing on success, with what was done in `words` ("embedded", "already stored", a digest
// replaced or a chunk repaired); else the failure line. A stored digest that differs from the
// audio is kept unless `force`, the line naming `forceOption` as the way to replace it.
std::optional<std::string> embedAudioDigest(FileHandle& file, const std::string& path,
                                            const check::Digest& digest, bool force,
                                            std::string_view forceOption, std::string& words);

}  // namespace bextkit::cli
