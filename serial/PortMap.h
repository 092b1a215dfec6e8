#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// The port map: how the names "COM1", "COM2", ... become devices, and the
// serial adapters the system has. Plain functions, no state; any thread.
namespace portmap {

// The folder whose entries "COMn" name the device of COMn:
// $XDG_CONFIG_HOME/impressora-qrv/ports, ~/.config/impressora-qrv/ports by
// default. It may not exist.
std::string Folder();

// The device that the port "COMn" (n >= 1) opens: the target of the entry
// COMn of the folder, else /dev/ttyS<n-1>. The same path the serial
// component opens and names in its errors.
std::string DeviceOf(int n);

// True when the folder holds an entry "COMn", whatever it is.
bool HasEntry(int n);

// The serial adapters the system has: the entries of /dev/serial/by-id (the
// names that stay the same from one plug to the next) and /dev/ttyUSB*,
// /dev/ttyACM*, sorted. A device seen under both names appears once, by its
// /dev/serial/by-id name.
std::vector<std::string> SerialAdapters();

// ---- Linux only: what an entry is, and the virtual printer's claims ----------------------

// What the entry COMn of the folder is.
enum class EntryKind {
    None,      // no entry: COMn opens /dev/ttyS<n-1>
    Device,    // leads to a character device
    Missing,   // leads to nothing (a dangling link)
    Folder,    // is, or leads to, a folder
    File,      // is, or leads to, a regular file
    OtherFile, // leads to something else: a block device, a socket, a pipe
    Stale,     // the link of a virtual printer that has ended
};

struct Entry {
    EntryKind Kind = EntryKind::None;
    std::string Device;   // what COMn opens (DeviceOf)
    bool IsLink = false;  // the entry itself is a symbolic link
    bool Virtual = false; // a running virtual printer made it
};
Entry EntryOf(int n);

// The name under which `qrv simulate --force` keeps a user's entry COMn
// aside while its virtual printer holds COMn.
std::string AsidePath(int n);

// True when the entry named `comName` ("COM5") of the folder is the link of
// a virtual printer that has ended: opening it would reach whatever now has
// its pseudo-terminal.
bool IsStale(const std::string& comName);

// A virtual printer's claim on COMn: a lock file ".COMn.simulador" beside
// the entry, held with flock for as long as the claim lives, naming the
// printer's process and the device its link leads to. The lock is the truth:
// a claim whose lock can be taken belongs to a printer that is gone, however
// it ended (SIGKILL included). Move-only; the destructor gives the claim up.
class VirtualClaim {
public:
    // Claims COMn for a link to `device`; a claim left by a printer that is
    // gone is mended first. Nothing, and `error` (the system's text) set,
    // when the lock file cannot be made; `busy` is true when a live virtual
    // printer holds COMn already.
    static std::optional<VirtualClaim> Take(int n, const std::string& device, std::string& error,
                                            bool& busy);
    VirtualClaim(VirtualClaim&& other) noexcept;
    VirtualClaim& operator=(VirtualClaim&&) = delete;
    ~VirtualClaim();

private:
    VirtualClaim(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_ = -1;
    std::string path_;
};

// What mending a stale claim did.
struct Repair {
    int Number = 0;
    std::string Device;       // where the stale link led
    bool LinkRemoved = false; // the stale link went
    bool Restored = false;    // the entry kept aside is COMn again
    bool AsideLeft = false;   // an entry kept aside stays aside (COMn is taken by another)
};
// Mends every claim of the folder whose virtual printer is gone: its link
// goes, what --force kept aside comes back, the lock file goes. Claims of
// running printers and every entry a user made are left as they are.
std::vector<Repair> RepairStale();

} // namespace portmap
