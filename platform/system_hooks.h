#pragma once
// Routines that reach outside the program: opening a file or page with the
// desktop's handler, and switching the machine off. Both are injectable so
// that tests record the call instead of acting.
#include <functional>
#include <string>

namespace parvola {

using ShellOpenRoutine = std::function<bool(const std::string& target)>;
using ShutdownRoutine = std::function<bool()>;

// Default: xdg-open, true only when it exits with status 0.
bool shellOpen(const std::string& target);
void setShellOpenRoutine(ShellOpenRoutine routine);  // empty restores the default

// Default: `systemctl poweroff` (logind decides whether the user may).
bool shutdownSystem();
void setShutdownRoutine(ShutdownRoutine routine);  // empty restores the default

// Writes a diagnostic line to standard error, only when PARVOLA_DEBUG is set.
void debugOutput(const std::string& text);

// Milliseconds from a monotonic clock (the tick count of the timing code).
unsigned long tickCountMs();

}  // namespace parvola
