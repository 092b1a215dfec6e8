// Time and peak memory of reading a large settings file, as the open command
// does: a 50 MB file of 2-byte lines and one of 80-character lines, both in
// the section "Programa" with the 64 real keys at the very end, so that the
// whole file must be read; and a UTF-16 one of the same size. Peak memory is the growth of the
// process's resident high-water mark (VmHWM), reset before each run.
//   settings_read_bench [folder]   (default: the system's temporary folder)
#include "settings/SettingsFile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr std::size_t FileSize = 50u * 1000u * 1000u;

long vmHwmKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// Writing 5 to clear_refs resets VmHWM to the current resident size.
bool resetHwm() {
    std::ofstream refs("/proc/self/clear_refs");
    refs << "5";
    refs.flush();
    return static_cast<bool>(refs);
}

// ASCII text as UTF-16 little-endian.
std::string utf16(const std::string& ascii) {
    std::string out;
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

// Writes the file in chunks so that making it does not raise the mark.
void makeFile(const std::string& path, const std::string& line, bool unicode) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const auto text = [unicode](const std::string& ascii) {
        return unicode ? utf16(ascii) : ascii;
    };
    out << (unicode ? "\xFF\xFE" : "") << text("[Programa]\r\n");
    std::string chunk;
    while (chunk.size() + line.size() <= 1u << 20)
        chunk += text(line);
    std::size_t written = 0;
    while (written + chunk.size() <= FileSize) {
        out << chunk;
        written += chunk.size();
    }
    ConfigurationModel model;
    model.SetPlaceholderTexts();
    // A band count other than the default shows that the keys were found.
    printer::PrinterOptions options;
    options.BandCount = 3;
    const std::string keys = SettingsFile::Format({model, options});
    out << text(keys.substr(keys.find('\n') + 1));
}

void run(const char* name, const std::string& path) {
    const bool reset = resetHwm();
    const long before = vmHwmKiB();
    const auto start = std::chrono::steady_clock::now();
    const printer::PrinterOptions options = SettingsFile::Read(SettingsFile::Load(path)).Options;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long after = vmHwmKiB();
    std::printf("%-22s %7.3f s  peak +%7.1f MiB%s  (UP1=%d)\n", name, seconds,
                static_cast<double>(after - before) / 1024.0, reset ? "" : " (mark not reset)",
                options.BandCount);
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    const std::string stem = folder + "/settings_read_bench." + std::to_string(::getpid());
    const struct {
        const char* Name;
        std::string Line;
        bool Unicode;
    } cases[] = {
        {"2-byte lines", "x\n", false},
        {"80-character lines", "CHAVE=" + std::string(72, 'v') + "\r\n", false},
        {"UTF-16, 40-char lines", "CHAVE=" + std::string(32, 'v') + "\r\n", true},
    };
    for (const auto& c : cases) {
        const std::string path = stem + ".snh";
        makeFile(path, c.Line, c.Unicode);
        run(c.Name, path);
        std::remove(path.c_str());
    }
    return 0;
}
