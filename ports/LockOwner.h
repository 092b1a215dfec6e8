#pragma once
// Lock files that name the process holding a port: the virtual printer's
// claims on map entries, and the system's UUCP lock files. POSIX only.

namespace ports {

// Whether the process `pid` still runs, this user's or another's.
bool LockOwnerAlive(long pid);

} // namespace ports
