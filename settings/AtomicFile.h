#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// A save that did not complete; what() is "Unable to write to <path>".
class SettingsWriteError : public std::runtime_error {
public:
    explicit SettingsWriteError(const std::string& path);
    const std::string& Path() const { return path; }

private:
    std::string path;
};

// Replaces the file at path by bytes in one step: the bytes go to a new file
// in the same folder, are flushed to the disk, and that file is renamed over
// path. On any failure the earlier file at path is left as it was, no
// temporary file is left behind, and SettingsWriteError is thrown. An
// existing file that is not writable is not replaced either.
void WriteFileAtomically(const std::string& path, std::string_view bytes);
