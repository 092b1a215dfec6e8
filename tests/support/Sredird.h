#pragma once
// sredird, the RFC 2217 server Debian packages, run as inetd runs it: one
// process per connection with the connection as its standard input and
// output, here forked by socat listening on 127.0.0.1 at a free port, in
// front of a device (a PtyPeer's slave side).

#include <QString>
#include <QTemporaryDir>
#include <string>
#include <sys/types.h>

class Sredird {
public:
    explicit Sredird(std::string device);
    ~Sredird();
    Sredird(const Sredird&) = delete;
    Sredird& operator=(const Sredird&) = delete;

    // False (Error() telling why) when it does not listen within a generous
    // limit.
    bool Start();
    QString Error() const { return error_; }
    // "rfc2217://127.0.0.1:PORT".
    QString Address() const;

private:
    std::string device_;
    QTemporaryDir dir_;
    int port_ = 0;
    pid_t pid_ = -1;
    QString error_;
};
