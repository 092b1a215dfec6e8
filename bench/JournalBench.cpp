// The journal's costs: one record appended (the lock, the write, the file's
// checks) and "qrv history"'s reading and filtering over 100,000 records,
// the newest 20 and a port that matches none, which reads every line.
#include "journal/Journal.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

journal::Record programRecord(int i) {
    journal::Record r;
    r.Started = "2026-03-05T14:30:00.000-03:00";
    r.DurationMs = 3750;
    r.Program = "qrv";
    r.Version = "1.1";
    r.User = "tecnico";
    r.Host = "agencia-centro";
    r.Command = "program";
    r.Port = {"COM" + std::to_string(1 + i % 10), "/dev/ttyUSB0", ""};
    r.Bands = {2};
    r.Configuration = {journal::Source::File, "/home/tecnico/centro.snh", std::string(64, 'a')};
    for (int f = 0; f < 7; ++f)
        r.Frames.push_back({f * 500, std::string(56, '3')});
    r.Result = {journal::Outcome::Completed, 7, 7, ""};
    return r;
}

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main() {
    const auto folder = std::filesystem::temp_directory_path() / "journal-bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "journal.jsonl").string();

    constexpr int appends = 2000;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < appends; ++i)
        if (journal::AppendLine(path, journal::ToJson(programRecord(i))))
            return 1;
    std::printf("append: %.3f ms per record (%d records)\n", msSince(start) / appends, appends);

    constexpr int records = 100000;
    std::filesystem::remove(path);
    for (int i = 0; i < records; ++i)
        journal::AppendLine(path, journal::ToJson(programRecord(i)), UINT64_MAX);
    std::printf("journal of %d records: %.1f MB\n", records,
                static_cast<double>(std::filesystem::file_size(path)) / 1e6);
    const struct {
        const char* What;
        journal::Filter Filter;
    } cases[] = {{"newest 20", {"", "", 20}},
                 {"--port COM3, newest 20", {"COM3", "", 20}},
                 {"--port COM99 (reads every line)", {"COM99", "", 20}},
                 {"all records (--limit 0)", {"", "", 0}}};
    for (const auto& c : cases) {
        start = std::chrono::steady_clock::now();
        const journal::Reading got = journal::Read({path}, c.Filter);
        std::printf("history, %s: %.1f ms, %zu records\n", c.What, msSince(start),
                    got.Entries.size());
    }
    std::filesystem::remove_all(folder);
}
