#pragma once
// What the Linux port map and the virtual printer's claims on its entries
// (VirtualClaimLinux.cpp) share: the entries' files and what a claim's lock
// file says. For those two files only.

#include <optional>
#include <string>

namespace ports::detail {

// The entry named `comName` ("COM5") of the folder.
std::string EntryFile(const std::string& comName);
// Where the symbolic link at `path` leads; nothing when it is none.
std::optional<std::string> LinkTarget(const std::string& path);
// Whether anything is at `path`, a dangling link included.
bool Exists(const std::string& path);

// What a lock file says: the printer's process and where its link leads.
struct ClaimText {
    long Pid = 0;
    std::string Device;
};
enum class ClaimState { None, Live, Stale };
// The claim on the entry `comName` and what its lock file says.
ClaimState ClaimStateOf(const std::string& comName, ClaimText& claim);

} // namespace ports::detail
