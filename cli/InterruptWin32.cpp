#include "cli/Interrupt.h"

#include <csignal>
#include <mutex>
#include <windows.h>

// The console's Ctrl+C, Ctrl+Break and closed window arrive on a thread the
// system starts for the handler. After the report the process ends as the
// console's own handler would end it (STATUS_CONTROL_C_EXIT), at once, as
// a signal's default action does on Linux.
namespace {

std::mutex lock;
std::function<void(int)>* active = nullptr;

BOOL WINAPI onControl(DWORD event) {
    int signal = 0;
    switch (event) {
    case CTRL_C_EVENT:
        signal = SIGINT;
        break;
    case CTRL_BREAK_EVENT:
        signal = SIGBREAK;
        break;
    case CTRL_CLOSE_EVENT:
        signal = SIGTERM;
        break;
    default:
        return FALSE;
    }
    const std::lock_guard guard(lock);
    if (active == nullptr)
        return FALSE;
    (*active)(signal);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    return TRUE;
}

} // namespace

struct InterruptReport::State {
    std::function<void(int)> report;
};

InterruptReport::InterruptReport(std::function<void(int)> report) : state(new State) {
    state->report = std::move(report);
    {
        const std::lock_guard guard(lock);
        active = &state->report;
    }
    SetConsoleCtrlHandler(onControl, TRUE);
}

InterruptReport::~InterruptReport() {
    SetConsoleCtrlHandler(onControl, FALSE);
    const std::lock_guard guard(lock);
    active = nullptr;
}
