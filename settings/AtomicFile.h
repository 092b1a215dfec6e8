#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// A save that did not complete; what() is "Unable to write to <path> (Error
// <code>, <system text>)", the system text without a final full stop.
class SettingsWriteError : public std::runtime_error {
public:
    SettingsWriteError(const std::string& path, int code);
    const std::string& Path() const { return path; }
    // The system's code that stopped the save (errno; GetLastError's on
    // Windows).
    int Code() const { return code; }

private:
    std::string path;
    int code;
};

// Replaces the file at path by bytes in one step: the bytes go to a new file
// beside it (a short hidden name, so that any name the folder takes works),
// are flushed to the disk, and that file is renamed over the old one. On any
// failure the earlier file is left as it was, no temporary file is left
// behind, and SettingsWriteError is thrown.
//  - A symbolic link at path stays: the file it leads to (through any chain
//    of links) is replaced, and created if it is missing.
//  - An existing file keeps its permission bits, and its owner and group as
//    far as the process may set them (a failure to set those is ignored).
//    An existing file that is not writable, or a folder, is not replaced.
//  - When the folder refuses the new file (no permission) but the existing
//    file is writable, the file is rewritten in place instead. Its new size
//    is reserved first, so that a full disk fails before anything is
//    overwritten; a failure after that (an I/O error) can leave it damaged.
// On Windows, path is UTF-8; the new file is flushed and swapped in with
// ReplaceFileW, which keeps the old file's attributes (a new file is moved
// into place, written through). A read-only file or a folder is not
// replaced; links and the rewrite in place are POSIX matters.
void WriteFileAtomically(const std::string& path, std::string_view bytes);
