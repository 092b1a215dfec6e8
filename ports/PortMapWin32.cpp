// The port map's Windows side. Local ComN is \\.\COMN, the system's own
// name; the map adds network ports only. Links need privileges on Windows, so
// an entry is a small file, %APPDATA%\impressora-qrv\ports\porta-COMn, whose
// one line is the address COMn opens.
//
// Not a file named "COMn": COM1 to COM9 name the serial ports in every
// folder, with any extension too ("COM3.txt" is the port), so opening such a
// file opens the port and blocks reading it. Earlier versions named entries
// "COMn" (only COM10 and up could be made); such an entry is found by
// listing the folder, never by opening its name, is read through a "\\?\"
// path (which names the file itself, not the device), and is renamed to
// porta-COMn whenever the map is written.
#include "ports/PortMap.h"

#include "model/Win32Text.h"
#include "serial/net/NetworkAddress.h"

#include <cctype>
#include <map>

namespace ports {

namespace {

const std::wstring Prefix = L"porta-";

struct Listed {
    bool Folder = false;
    bool Old = false; // named "COMn": the earlier form
};

// The entries of the folder by number; a current entry wins over an old one.
std::map<int, Listed> listing() {
    std::map<int, Listed> entries;
    if (Folder().empty())
        return entries;
    WIN32_FIND_DATAW found{};
    const HANDLE find = FindFirstFileW(win32::Wide(Folder() + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return entries;
    do {
        const std::wstring name = found.cFileName;
        const bool current = name.size() > Prefix.size() &&
                             _wcsnicmp(name.c_str(), Prefix.c_str(), Prefix.size()) == 0;
        const auto n = ParseComName(win32::Utf8(current ? name.substr(Prefix.size()) : name));
        if (!n || (!current && entries.contains(*n)))
            continue;
        entries[*n] = {(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, !current};
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return entries;
}

// The folder's full path, in the form that names its files exactly.
std::wstring verbatimFolder() {
    const std::wstring folder = win32::Wide(Folder());
    const DWORD n = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
    std::wstring full(n, L'\0');
    full.resize(n ? GetFullPathNameW(folder.c_str(), n, full.data(), nullptr) : 0);
    if (full.empty())
        full = folder;
    if (full.starts_with(L"\\\\?\\"))
        return full;
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring currentPath(int n) {
    return verbatimFolder() + L"\\" + Prefix + win32::Wide(ComName(n));
}

std::wstring oldPath(int n) {
    return verbatimFolder() + L"\\" + win32::Wide(ComName(n));
}

// The address in the file at path; nothing when it holds none that is valid.
std::optional<std::string> readAddress(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    char buffer[1024];
    DWORD n = 0;
    const bool read =
        GetFileType(file) == FILE_TYPE_DISK && ReadFile(file, buffer, sizeof buffer, &n, nullptr);
    CloseHandle(file);
    if (!read)
        return std::nullopt;
    std::string line(buffer, n);
    line = line.substr(0, line.find_first_of("\r\n"));
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    const auto address = serial::net::ParseNetworkAddress(line);
    if (!address)
        return std::nullopt;
    return address->Text();
}

std::optional<std::string> entryAddress(int n) {
    const auto entries = listing();
    const auto it = entries.find(n);
    if (it == entries.end() || it->second.Folder)
        return std::nullopt;
    return readAddress(it->second.Old ? oldPath(n) : currentPath(n));
}

// Gives every entry of the earlier form its current name. One that cannot be
// renamed stays readable where it is.
void mendOldEntries() {
    for (const auto& [n, entry] : listing())
        if (entry.Old)
            MoveFileExW(oldPath(n).c_str(), currentPath(n).c_str(), MOVEFILE_WRITE_THROUGH);
}

bool makeFolder(const std::string& path, std::error_code& error) {
    const std::wstring wide = win32::Wide(path);
    if (CreateDirectoryW(wide.c_str(), nullptr))
        return true;
    error = win32::LastError();
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    // A file of that name is in the way.
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    error.clear();
    return true;
}

} // namespace

std::string Folder() {
    const std::string appData = win32::Environment(L"APPDATA");
    return appData.empty() ? std::string() : appData + "\\impressora-qrv\\ports";
}

std::string EntryPath(int n) {
    return Folder() + "\\" + win32::Utf8(Prefix) + ComName(n);
}

bool HasEntry(int n) {
    return listing().contains(n);
}

std::set<int> EntryNumbers() {
    std::set<int> numbers;
    for (const auto& [n, entry] : listing())
        numbers.insert(n);
    return numbers;
}

std::string Resolve(const std::string& name) {
    if (serial::net::IsNetworkAddress(name))
        return name;
    if (const auto n = ParseComName(name)) {
        if (const auto address = entryAddress(*n))
            return *address;
        // "\\.\COM10": the plain name reaches only COM1 to COM9.
        return "\\\\.\\" + ComName(*n);
    }
    const bool verbatim =
        name.starts_with("\\\\") ||
        (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':');
    return verbatim ? name : "\\\\.\\" + name;
}

MapResult Map(int n, const std::string& target, bool force) {
    MapResult result;
    const auto address = serial::net::ParseNetworkAddress(target);
    if (!address) {
        result.Outcome = MapOutcome::BadAddress;
        return result;
    }
    result.Target = address->Text();
    const std::string folder = Folder();
    if (folder.empty()) {
        result.Outcome = MapOutcome::Failed;
        result.Error = std::make_error_code(std::errc::no_such_file_or_directory);
        return result;
    }
    if (!makeFolder(folder.substr(0, folder.rfind('\\')), result.Error) ||
        !makeFolder(folder, result.Error)) {
        result.Outcome = MapOutcome::Failed;
        return result;
    }
    mendOldEntries();
    const auto entries = listing();
    if (const auto it = entries.find(n); it != entries.end()) {
        if (!force) {
            result.Outcome = MapOutcome::Taken;
            return result;
        }
        if (it->second.Folder) {
            result.Outcome = MapOutcome::IsFolder;
            return result;
        }
    }
    // Written aside and moved over the entry, so it is never half made.
    const std::wstring temporary = verbatimFolder() + L"\\." + Prefix + win32::Wide(ComName(n));
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        result.Error = win32::LastError();
        result.Outcome = MapOutcome::Failed;
        return result;
    }
    const std::string line = result.Target + "\r\n";
    DWORD written = 0;
    bool ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
              written == line.size() && FlushFileBuffers(file);
    if (!ok)
        result.Error = win32::LastError();
    CloseHandle(file);
    if (ok && !MoveFileExW(temporary.c_str(), currentPath(n).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        result.Error = win32::LastError();
        ok = false;
    }
    if (!ok) {
        DeleteFileW(temporary.c_str());
        result.Outcome = MapOutcome::Failed;
    }
    return result;
}

MapResult Unmap(int n) {
    MapResult result;
    if (Folder().empty()) {
        result.Outcome = MapOutcome::NotMapped;
        result.Target = DeviceOf(n);
        return result;
    }
    mendOldEntries();
    const auto entries = listing();
    const auto it = entries.find(n);
    if (it == entries.end())
        result.Outcome = MapOutcome::NotMapped;
    else if (it->second.Folder)
        result.Outcome = MapOutcome::NotALink;
    else if (!DeleteFileW((it->second.Old ? oldPath(n) : currentPath(n)).c_str())) {
        result.Error = win32::LastError();
        result.Outcome = MapOutcome::Failed;
    }
    if (result.Outcome == MapOutcome::Done || result.Outcome == MapOutcome::NotMapped)
        result.Target = DeviceOf(n);
    return result;
}

} // namespace ports
