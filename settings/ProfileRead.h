#pragma once
// How the profile reader reads a file from disk; one file per platform
// (ProfileRead.cpp, ProfileReadWin32.cpp).

#include "settings/ProfileFile.h"

#include <string>

// Feeds the regular file at `path` to `reader` until the reader is complete
// or the file ends. False when the path is not a regular file or a read
// fails: then nothing the reader holds may be used.
bool FeedFile(const std::string& path, ProfileReader& reader);
