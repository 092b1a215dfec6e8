#pragma once

#include "journal/Record.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The journal file: one record a line, appended by any number of processes
// at once (the window, several qrv), read back newest first.
namespace journal {

// Past this size the file is rotated before the next record: journal.jsonl
// becomes journal.jsonl.1, which becomes journal.jsonl.2; older goes.
inline constexpr uint64_t RotateBytes = 4 * 1024 * 1024;

// Appends the record to the user's journal (JournalPath), creating its
// folder. Nothing, or why it could not be written (Portuguese, naming the
// file), for one warning line; a send never stops for it.
std::optional<std::string> Append(const Record& record);

// Appends `line` and a line break to the file at path (UTF-8) as one write
// in append mode under the file's advisory lock, rotating first, under the
// same lock, when the file has reached rotateBytes. A new file is private
// to its user (0600). Nothing, or why not (Portuguese).
std::optional<std::string> AppendLine(const std::string& path, const std::string& line,
                                      uint64_t rotateBytes = RotateBytes);

// path, path.1, path.2: the journal's files, newest first.
std::vector<std::string> JournalFiles(const std::string& path);

// A record as read, with its short id: the first 8 hex digits of the
// SHA-256 of its line.
struct Entry {
    std::string Id;
    std::string Line; // as stored
    Record Data;
};

struct Filter {
    std::string Port;      // matches the name given, the device or its stable name
    std::string Since;     // local "YYYY-MM-DD[THH:MM[:SS]]" ("T" or a blank); records from then on
    std::size_t Limit = 0; // 0: all
};

struct Reading {
    std::vector<Entry> Entries;     // newest first
    std::vector<std::string> Notes; // lines that were skipped, and why (Portuguese)
};

// The records of `files` (newest file first, each oldest line first) that
// pass the filter, newest first. A line that is not a record is skipped with
// a note: a torn last line, as a power cut leaves it, is named as such. A
// file that is missing holds nothing.
Reading Read(const std::vector<std::string>& files, const Filter& filter);

// Nothing when `since` is a date Filter takes; else the reason (Portuguese).
std::optional<std::string> CheckSince(const std::string& since);

// The entries of `files` whose id begins with `id`. More than one: the id is
// ambiguous.
std::vector<Entry> FindById(const std::vector<std::string>& files, const std::string& id);

} // namespace journal
