#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The one check that a settings file ("*.snh") can be read, shared by the
// window's open command and qrv. The profile reader takes a missing or
// unreadable file as an empty one, which would load every default without a
// word; callers ask here first. Qt-free; one implementation per platform.

namespace SettingsFile {

// Real files are a few KB. A larger one is refused before a byte of it is
// read, so a huge file chosen by mistake costs nothing.
inline constexpr std::uintmax_t MaxFileBytes = std::uintmax_t{16} * 1024 * 1024;

// Why the file at path cannot be used, or nothing when it can: it does not
// exist, is not a regular file, is larger than MaxFileBytes or cannot be
// opened for reading. The reason is one Portuguese sentence that starts in
// lower case, names the file in double quotes and ends with a full stop
// (qrv puts it after "qrv: "). Only the file's metadata is read.
std::optional<std::string> Unusable(const std::string& path);

} // namespace SettingsFile
