#pragma once

#include <string>

// What the journal asks of the system: where it lives, who and where the
// user is, the local time. One file per system.
namespace journal {

// The journal of this user: $XDG_STATE_HOME/impressora-qrv/journal.jsonl
// (~/.local/state/... when unset or not absolute) on Linux,
// %LOCALAPPDATA%\impressora-qrv\journal.jsonl on Windows. UTF-8. Empty when
// the system names no such folder.
std::string JournalPath();

// The user's login name and the computer's name; empty when unknown.
std::string UserName();
std::string HostName();

// "2026-12-10T09:15:02.120-03:00": the local time now, with its offset.
std::string LocalTimestamp();

} // namespace journal
