#pragma once

// Runs a program to its end for the tests that drive qrv (or wine) as a
// technician would: exit status and both outputs as bytes.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

struct ProgramRun {
    int Status = -1; // -1 when the program crashed or had to be killed
    QByteArray Out;
    QByteArray Err;
};

inline ProgramRun
RunProgram(const QString& program, const QStringList& arguments,
           const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
           int limitMs = 120000) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(limitMs)) {
        process.kill();
        process.waitForFinished();
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}
