#pragma once

#include "ports/ComName.h"

#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

// The port map: how the names "COM1", "COM2", ... become devices. Plain
// functions, no state; any thread.
namespace ports {

// The entry of a virtual printer that has ended, which Resolve refuses to
// open: its link may lead to whatever took the printer's pseudo-terminal
// since. The serial component raises it as its own error with this code,
// which lies far above every errno and Windows code and apart from
// serial::net's.
class StaleEntry : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    static constexpr int Code = 0x20010001;
};

// What the serial component opens for a device name: a network port or an
// absolute path as it is; "COMn" through the map (see DeviceOf); any other
// name as the system's own device of that name. Throws StaleEntry for the
// entry of a virtual printer that has ended.
std::string Resolve(const std::string& name);

// The folder whose entries "COMn" name the device of COMn:
// $XDG_CONFIG_HOME/impressora-qrv/ports, ~/.config/impressora-qrv/ports by
// default. It may not exist.
std::string Folder();

// The device that the port "COMn" (n >= 1) opens: the target of the entry
// COMn of the folder (a device path, or a network port such as
// rfc2217://10.0.0.5:4001), else /dev/ttyS<n-1> (\\.\COMn on Windows). The same path the serial
// component opens and names in its errors.
std::string DeviceOf(int n);

// The path of the entry of COMn in the folder, as messages name it.
std::string EntryPath(int n);

// True when the folder holds an entry for COMn, whatever it is.
bool HasEntry(int n);

// n of every entry of the folder, whatever the entry is.
std::set<int> EntryNumbers();

// ---- The map's writers ----------------------------------------------------------------------

enum class MapOutcome {
    Done,
    Taken,      // COMn has an entry already and force was not given
    IsFolder,   // the entry is a folder: never replaced
    NotALink,   // unmap: the entry is not one the map made; left alone
    NotMapped,  // unmap: there was no entry
    BadAddress, // the target names a network port that is not valid
    Failed,     // the system refused; Error says why
};
struct MapResult {
    MapOutcome Outcome = MapOutcome::Done;
    std::error_code Error;
    std::string Target; // what COMn opens now
};
// Makes COMn open `target`: a device path (made absolute) or a network port.
// An address of another scheme ("tcp://...") is a BadAddress, never a path.
// The folder must exist. The entry is replaced in one step, never missing or
// half made.
MapResult Map(int n, const std::string& target, bool force);
// Takes the entry COMn out of the map.
MapResult Unmap(int n);

// ---- Linux only: what an entry is, and the virtual printer's claims ----------------------

// What the entry COMn of the folder is.
enum class EntryKind {
    None,       // no entry: COMn opens /dev/ttyS<n-1>
    Device,     // leads to a character device
    Network,    // names a network port (rfc2217://, socket://)
    BadAddress, // names an address that opens nothing: malformed, or of another scheme
    Missing,    // leads to nothing (a dangling link)
    Folder,     // is, or leads to, a folder
    File,       // is, or leads to, a regular file
    OtherFile,  // leads to something else: a block device, a socket, a pipe
    Stale,      // the link of a virtual printer that has ended
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

// A virtual printer's link COMn -> its pseudo-terminal for the printer's
// run, under a VirtualClaim. With force, a user's entry COMn is kept aside
// (AsidePath) for the run and put back by Remove. The folder must exist.
class VirtualLink {
public:
    enum class Refusal {
        None,
        Busy,        // a live virtual printer holds COMn
        ClaimFailed, // the lock file cannot be made; Error says why
        Taken,       // COMn has an entry and force was not given
        IsFolder,    // the entry is a folder: never replaced
        AsideTaken,  // an entry kept aside by an earlier run is in the way
        Failed,      // the system refused; Error says why
    };
    struct Placed {
        Refusal Why = Refusal::None;
        std::string Error; // the system's text
    };
    Placed Place(int n, const std::string& device, bool force);

    enum class Undone {
        Nothing,          // no link was placed
        Removed,          // COMn left the map
        Restored,         // the entry kept aside is COMn again
        ChangedMeanwhile, // COMn was replaced during the run: left as it is
        Failed,           // the system refused; Error says why
    };
    struct Removal {
        Undone What = Undone::Nothing;
        bool KeptAside = false; // an entry was kept aside (it stays there unless Restored)
        std::string Error;
    };
    // Takes the link away, puts back what was kept aside, then gives the claim up.
    Removal Remove();

private:
    int number_ = 0;
    std::string target_;
    bool placed_ = false;
    bool saved_ = false;
    std::optional<VirtualClaim> claim_;
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

} // namespace ports
