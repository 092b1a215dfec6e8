// The atomic save on Windows: a new file beside the target, flushed, then
// swapped in by ReplaceFileW (which keeps the old file's attributes) or, for
// a new file, moved into place with MoveFileExW.
#include "settings/AtomicFile.h"

#include "model/Win32Text.h"

#include <windows.h>

#include <atomic>
#include <chrono>

namespace {

std::string message(const std::string& path, int code) {
    return "Unable to write to " + win32::NativePath(path) + " (Error " + std::to_string(code) +
           ", " + win32::SystemText(static_cast<DWORD>(code)) + ")";
}

struct Fail {
    DWORD code;
};

void check(bool ok) {
    if (!ok)
        throw Fail{GetLastError()};
}

std::wstring wide(const std::string& utf8) {
    if (utf8.empty())
        throw Fail{ERROR_PATH_NOT_FOUND};
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
    check(n > 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        out.data(), n);
    return out;
}

// The folder part of path with its final separator, or "" for a bare name.
std::wstring folderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/:");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// The temporary file beside the target, removed again unless it was moved
// into place.
class TempFile {
public:
    explicit TempFile(const std::wstring& folder) {
        static std::atomic<unsigned> counter{0};
        static constexpr wchar_t digits[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
        const auto seed = static_cast<unsigned long long>(
                              std::chrono::steady_clock::now().time_since_epoch().count()) ^
                          (static_cast<unsigned long long>(GetCurrentProcessId()) << 32);
        for (int attempt = 0; attempt < 100; ++attempt) {
            unsigned long long x = seed + counter++ * 0x9E3779B97F4A7C15ull;
            std::wstring tail;
            for (int i = 0; i < 6; ++i, x /= 36)
                tail += digits[x % 36];
            name = folder + L".snh" + tail;
            handle = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle != INVALID_HANDLE_VALUE)
                return;
            if (GetLastError() != ERROR_FILE_EXISTS)
                break;
        }
        const DWORD code = GetLastError();
        name.clear();
        throw Fail{code};
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        if (!name.empty())
            DeleteFileW(name.c_str());
    }

    void Write(std::string_view bytes) {
        while (!bytes.empty()) {
            DWORD n = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
            check(WriteFile(handle, bytes.data(), chunk, &n, nullptr) && n > 0);
            bytes.remove_prefix(n);
        }
        check(FlushFileBuffers(handle));
        const HANDLE closing = handle;
        handle = INVALID_HANDLE_VALUE;
        check(CloseHandle(closing));
    }

    // Puts the file at target; true when it replaced one.
    void MoveTo(const std::wstring& target, bool exists) {
        if (exists && ReplaceFileW(target.c_str(), name.c_str(), nullptr,
                                   REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
            name.clear();
            return;
        }
        // Gone since it was looked at: then it is a new file after all.
        if (exists && GetLastError() != ERROR_FILE_NOT_FOUND)
            throw Fail{GetLastError()};
        check(MoveFileExW(name.c_str(), target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
        name.clear();
    }

private:
    std::wstring name;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

void replace(const std::wstring& target, std::string_view bytes) {
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND)
        throw Fail{GetLastError()};
    // A folder, or a file the user made read-only, is not replaced.
    if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
        throw Fail{ERROR_ACCESS_DENIED};
    TempFile temp(folderOf(target));
    temp.Write(bytes);
    temp.MoveTo(target, exists);
}

} // namespace

SettingsWriteError::SettingsWriteError(const std::string& target, int errorCode)
    : std::runtime_error(message(target, errorCode)), path(target), code(errorCode) {}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    try {
        replace(wide(path), bytes);
    } catch (const Fail& fail) {
        throw SettingsWriteError(path, static_cast<int>(fail.code));
    }
}
