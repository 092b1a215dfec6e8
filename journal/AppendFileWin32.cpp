#include "journal/AppendFile.h"

#include "model/Utf8Path.h"

#include <filesystem>
#include <windows.h>

namespace journal::detail {

namespace {

std::string reason(DWORD code) {
    switch (code) {
    case ERROR_ACCESS_DENIED:
        return "sem permissão";
    case ERROR_WRITE_PROTECT:
        return "disco protegido contra gravação";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return "disco cheio";
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
        return "um componente do caminho não é uma pasta";
    default:
        return "erro " + std::to_string(code) + " do sistema";
    }
}

std::string failure(const std::string& path, DWORD code) {
    return path + ": " + reason(code);
}

struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

bool sameFile(HANDLE held, const std::wstring& path) {
    Handle named;
    named.h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    return named.h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(held, &a) &&
           GetFileInformationByHandle(named.h, &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

} // namespace

std::optional<std::string> MakeFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(Utf8Path(folder), ec);
    if (ec)
        return folder + ": " + reason(static_cast<DWORD>(ec.value()));
    return std::nullopt;
}

std::optional<std::string> AppendLocked(const std::string& path, const std::string& bytes,
                                        uint64_t rotateBytes) {
    const std::wstring wide = Utf8Path(path).wstring();
    for (int attempt = 0; attempt < 16; ++attempt) {
        // Appending only: every write goes to the end, whoever wrote last.
        // Shared for deletion, so that another writer can rotate it.
        Handle file;
        file.h = CreateFileW(wide.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file.h == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            const DWORD attributes = GetFileAttributesW(wide.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                return path + ": há uma pasta no lugar do arquivo";
            return failure(path, code);
        }
        OVERLAPPED whole{};
        if (!LockFileEx(file.h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole))
            return failure(path, GetLastError());
        struct Unlock {
            HANDLE h;
            ~Unlock() {
                OVERLAPPED all{};
                UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &all);
            }
        } unlock{file.h};
        if (!sameFile(file.h, wide))
            continue;
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file.h, &size))
            return failure(path, GetLastError());
        if (size.QuadPart > 0 && static_cast<uint64_t>(size.QuadPart) >= rotateBytes) {
            const std::wstring first = wide + L".1";
            if (!MoveFileExW(first.c_str(), (wide + L".2").c_str(), MOVEFILE_REPLACE_EXISTING) &&
                GetLastError() != ERROR_FILE_NOT_FOUND)
                return failure(path + ".2", GetLastError());
            if (!MoveFileExW(wide.c_str(), first.c_str(), MOVEFILE_REPLACE_EXISTING))
                return failure(path + ".1", GetLastError());
            continue;
        }
        std::string out;
        if (size.QuadPart > 0) {
            char last = '\n';
            OVERLAPPED at{};
            const uint64_t end = static_cast<uint64_t>(size.QuadPart) - 1;
            at.Offset = static_cast<DWORD>(end);
            at.OffsetHigh = static_cast<DWORD>(end >> 32);
            DWORD got = 0;
            if (ReadFile(file.h, &last, 1, &got, &at) && got == 1 && last != '\n')
                out = "\n";
        }
        out += bytes;
        DWORD written = 0;
        if (!WriteFile(file.h, out.data(), static_cast<DWORD>(out.size()), &written, nullptr))
            return failure(path, GetLastError());
        if (written != out.size())
            return failure(path, ERROR_DISK_FULL);
        return std::nullopt;
    }
    return path + ": o arquivo foi trocado várias vezes durante a gravação";
}

} // namespace journal::detail
