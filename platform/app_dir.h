#pragma once
// Where config.ini, deploy.ini, the catalog files and the "temp" folder live.
#include <string>

namespace parvola {

// $PARVOLA_HOME when set; else the executable's folder when writable; else
// $XDG_DATA_HOME/parvola (~/.local/share/parvola). Created when missing, 0700
// like each missing folder above it.
// Read afresh on every call, so tests can point it at a fresh folder.
std::string applicationDirectory();

// applicationDirectory() + "/" + name.
std::string appPath(const std::string& name);

}  // namespace parvola
