// The settings file check on Windows, through the wide API so that any name
// the user gives is the file the system looks at.
#include "settings/FileCheck.h"

#include "model/Win32Text.h"

namespace SettingsFile {

std::optional<std::string> Unusable(const std::string& path) {
    const std::string name = "\"" + win32::NativePath(path) + "\"";
    const std::wstring wide = win32::Wide(path);
    auto unreadable = [&name](DWORD code) {
        return "não foi possível ler o arquivo " + name + " (" + win32::SystemText(code) + ").";
    };
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
            code == ERROR_INVALID_NAME)
            return "o arquivo " + name + " não existe.";
        return unreadable(code);
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return name + " não é um arquivo comum.";
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "não foi possível ler o arquivo " + name + ".";
    // A device name ("COM3", "NUL") opens the device: not a file.
    const bool disk = GetFileType(file) == FILE_TYPE_DISK;
    LARGE_INTEGER size{};
    const bool sized = disk && GetFileSizeEx(file, &size);
    const DWORD code = GetLastError();
    CloseHandle(file);
    if (!disk)
        return name + " não é um arquivo comum.";
    if (!sized)
        return unreadable(code);
    if (static_cast<std::uintmax_t>(size.QuadPart) > MaxFileBytes)
        return "o arquivo " + name + " tem " + std::to_string(size.QuadPart) +
               " bytes, mais que os 16 MiB que um arquivo de configuração pode ter.";
    return std::nullopt;
}

} // namespace SettingsFile
