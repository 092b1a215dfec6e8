#include "cli/Interrupt.h"

// Ctrl+C ends a console program at once there, as before.
struct InterruptReport::State {};

InterruptReport::InterruptReport(std::function<void(int)>) : state(new State) {}

InterruptReport::~InterruptReport() = default;
