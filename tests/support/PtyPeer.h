#pragma once

#include "simulator/Pty.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <termios.h>
#include <thread>
#include <vector>

// The far end of a serial line, for tests and benchmarks: a pseudo-terminal
// whose slave side stands for the port, mapped to "COMn" in a port map
// folder, and whose master side records every byte that arrives with the
// moment it arrived. A reader thread drains the master, so a writer is never
// held up by a full queue.
class PtyPeer {
public:
    using Clock = std::chrono::steady_clock;

    struct Frame {
        std::vector<uint8_t> Bytes;
        Clock::time_point FirstByte;
        Clock::time_point LastByte;
    };

    // Throws std::runtime_error when no pseudo-terminal can be had.
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& SlavePath() const { return slavePath; }
    // The line settings of the slave side, as whoever opened it set them.
    termios SlaveSettings() const;

    // Makes "COM<n>" of the port map folder under configHome (the value for
    // XDG_CONFIG_HOME) a link to the slave side.
    void MapPort(const std::filesystem::path& configHome, int n) const;

    std::vector<uint8_t> Bytes() const;
    std::size_t ByteCount() const;
    // What arrived, cut into printer frames: 28 bytes when the command byte
    // is "L", else 14. A trailing incomplete frame is left out.
    std::vector<Frame> Frames() const;
    void Clear();

    // Stops reading and closes the master side: from now on every write at
    // the slave side fails, as on a serial adapter that was pulled out.
    void HangUp();

    // Stops reading and fills the line with filler bytes written at the slave
    // side until the kernel takes no more, as a printer whose buffer is full:
    // from now on a write at the slave side finds no room. Returns the number
    // of filler bytes (they arrive after Resume).
    std::size_t Stall();
    // Reads again.
    void Resume();

private:
    void readLoop();
    void stopReader();

    serial::device::FileDescriptor master;
    serial::device::FileDescriptor
        slave; // kept open so the master never sees a hang-up between opens
    int wake[2] = {-1, -1};
    std::string slavePath;
    std::thread reader;

    mutable std::mutex lock;
    std::vector<uint8_t> bytes;
    std::vector<Clock::time_point> arrivals; // one per byte
};
