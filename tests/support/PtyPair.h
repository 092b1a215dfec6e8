#pragma once
// Test fixtures for the serial tests: a pseudo-terminal pair whose slave side
// the component opens, a temporary port map folder, and process counters.

#include "serial/VaComm.h"
#include "simulator/Pty.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <set>
#include <string>
#include <termios.h>

// Gives a port the settings the main window gives its own.
void WindowSettings(TVaComm& port);

class PtyPair {
public:
    PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool IsOpen() const { return master_.get() >= 0; }
    const std::string& SlavePath() const { return slavePath_; }
    // Bytes that arrive at the master side, until `count` have come or
    // timeoutMs has passed.
    QByteArray ReadMaster(int count, int timeoutMs = 2000);
    // Everything the master side can read within timeoutMs.
    QByteArray DrainMaster(int timeoutMs = 200);
    void WriteMaster(const QByteArray& bytes);
    // The peer hangs up.
    void CloseMaster();
    termios SlaveSettings() const;

private:
    serial::device::FileDescriptor master_;
    serial::device::FileDescriptor slave_;
    std::string slavePath_;
};

// A port map folder in a temporary XDG_CONFIG_HOME, restored on destruction.
class PortMapFolder {
public:
    PortMapFolder();
    ~PortMapFolder();
    // Makes `name` (such as "COM3") a symbolic link to `target`.
    void Map(const QString& name, const QString& target);
    QString Folder() const;

private:
    QTemporaryDir dir_;
    QByteArray oldValue_;
    bool hadValue_ = false;
};

// Posts component deliveries to the Qt event loop of the test's main thread.
TVaPostToMain QtMainThreadPoster();

std::set<long> ThreadIds();
int OpenDescriptorCount();
// CPU time (user + system) that a thread of this process has used, in ms.
long ThreadCpuMs(long threadId);
// The one thread in `after` that is not in `before` (0 when not exactly one).
long NewThread(const std::set<long>& before, const std::set<long>& after);
