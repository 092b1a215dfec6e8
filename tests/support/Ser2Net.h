#pragma once
// A real device server for the network-port tests and benchmarks: ser2net,
// started on 127.0.0.1 with a configuration of its own, each connection
// bridging a TCP port to a device (a PtyPeer's slave side) that it opens at
// 115200 8N1, so a client that sets the line shows it. Ports are chosen free
// at run time; never any address but loopback.

#include <QString>
#include <QTemporaryDir>
#include <string>
#include <sys/types.h>
#include <vector>

class Ser2Net {
public:
    enum class Kind { Rfc2217, Raw };
    struct Connection {
        Kind Protocol;
        std::string Device;
        int Port = 0; // chosen by Start
    };

    explicit Ser2Net(std::vector<Connection> connections);
    // Kills the server (continuing it first when stopped).
    ~Ser2Net();
    Ser2Net(const Ser2Net&) = delete;
    Ser2Net& operator=(const Ser2Net&) = delete;

    // Starts ser2net and waits until every port listens; false (with
    // Error() telling why) when it cannot be had within a generous limit.
    bool Start();
    QString Error() const { return error_; }

    int Port(std::size_t i) const { return connections_.at(i).Port; }
    // "rfc2217://127.0.0.1:PORT" or "socket://127.0.0.1:PORT" of connection i.
    QString Address(std::size_t i) const;

    // SIGSTOP / SIGCONT: a server that stops taking bytes, and recovers.
    void Stop();
    void Continue();
    // SIGKILL: the server dies; its connections drop.
    void Kill();

    // A TCP port on 127.0.0.1 that nothing listens on now.
    static int FreePort();
    // Whether something listens on 127.0.0.1:port, read from the kernel's
    // table, so that looking does not connect (a connection would make the
    // server open the device).
    static bool Listening(int port);

private:
    std::vector<Connection> connections_;
    QTemporaryDir dir_;
    pid_t pid_ = -1;
    bool stopped_ = false;
    QString error_;
};
