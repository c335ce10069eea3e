#pragma once
// Starting the client with the desktop session: an XDG autostart entry
// $XDG_CONFIG_HOME/autostart/parvola.desktop (~/.config/autostart when the
// variable is unset or not absolute). The settings dialog still writes the
// "AutoStart" key itself, whatever these answer.
#include <string>

namespace parvola {

// Where the entry lives.
std::string autoStartEntryPath();

// Creates or overwrites the entry that starts the desktop client (whichever
// client asks: the command line's settings command does too); true when written.
bool enableAutoStart();
// Removes the entry; true when it existed and was removed.
bool disableAutoStart();

// The desktop client that belongs with the program at `selfPath`: the program
// itself when it is the desktop client ("parvola"), else "parvola" beside it
// (an installation's bin folder), else the build tree's shell/parvola; when
// none is there, the bare name, which the session finds on its PATH.
std::string desktopClientPath(const std::string& selfPath);

// The entry's text for an executable path (quoted for the Exec key as the
// desktop entry format wants it).
std::string autoStartEntryText(const std::string& executablePath);

}  // namespace parvola
