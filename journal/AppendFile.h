#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The one part of the journal's writing that differs per system: taking the
// file's advisory lock (flock, LockFileEx), rotating under it, and the single
// write in append mode. See AppendLine in Journal.h.
namespace journal::detail {

std::optional<std::string> AppendLocked(const std::string& path, const std::string& bytes,
                                        uint64_t rotateBytes);

// The folder of the journal made, private to the user where the system has
// modes. Nothing, or why not (Portuguese).
std::optional<std::string> MakeFolder(const std::string& folder);

} // namespace journal::detail
