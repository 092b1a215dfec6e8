#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One send to one printer as the journal keeps it: who sent what, to which
// port, from which configuration, the frames as they went out and how it
// ended. The window and qrv fill one when a command ends and append it; the
// history commands read them back. Plain data, Qt-free.
namespace journal {

struct SentFrame {
    int64_t AtMs = 0; // from the start of the command
    std::string Hex;  // the bytes written, lower-case hex without blanks
    bool operator==(const SentFrame&) const = default;
};

struct PortTrail {
    std::string Named;  // as the user named it: "COM3", a device path, an rfc2217:// address
    std::string Device; // what it opened: a device path or a network address
    std::string Stable; // its /dev/serial/by-id or by-path name; empty when it has none
    bool operator==(const PortTrail&) const = default;
};

// Where the configuration came from: a settings file (its path and the
// SHA-256 of the bytes read), or the window's controls (with the file it
// last opened or saved, if any). Neither for a command that sends no
// configuration.
struct Source {
    enum Kind { None, File, Window };
    Kind From = None;
    std::string Path;   // the file read, or the window's last file
    std::string Sha256; // of the bytes read; for File only
    bool operator==(const Source&) const = default;
};

struct Outcome {
    enum Kind { Completed, Failed, Interrupted };
    Kind What = Completed;
    int Step = 0;      // 1-based step that failed or was cut; 0: before the first
    int Steps = 0;     // steps of the whole command
    std::string Error; // the error's text, for Failed
    bool operator==(const Outcome&) const = default;
};

struct Record {
    std::string Started; // local time with its offset, "2026-12-10T09:15:02.120-03:00"
    int64_t DurationMs = 0;
    std::string Program; // "qrv", "impressora-qrv"
    std::string Version;
    std::string User;
    std::string Host;
    std::string Command; // "program", "config", "clock", "print", "restart", "report"
    PortTrail Port;
    std::vector<int> Bands;
    Source Configuration;
    std::vector<SentFrame> Frames;
    Outcome Result;
    bool operator==(const Record&) const = default;
};

// The record as one JSON line, without its line break.
std::string ToJson(const Record& record);
// Nothing when the line is not a record.
std::optional<Record> FromJson(const std::string& line);

// Lower-case hex of bytes and back (nothing for text that is not hex pairs).
std::string ToHex(const std::vector<uint8_t>& bytes);
std::optional<std::vector<uint8_t>> FromHex(const std::string& hex);

} // namespace journal
