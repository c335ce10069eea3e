#include "platform/app_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/private_files.h"

namespace parvola {
namespace {

std::string executableFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return exe.parent_path().string();
}

std::string dataHome() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        return std::string(xdg) + "/parvola";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/parvola";
}

// A folder made here, and each missing one above it, is the owner's alone:
// it will hold the remembered passwords and the catalogs.
std::string ensureFolder(const std::string& path) {
    createPrivateFolders(path);
    return path;
}

}  // namespace

std::string applicationDirectory() {
    if (const char* home = std::getenv("PARVOLA_HOME"); home && *home)
        return ensureFolder(home);
    // A program installed system-wide cannot write beside itself; one run from
    // its build or unpack folder keeps its files there, as on the desktop it came from.
    std::string exeDir = executableFolder();
    if (!exeDir.empty() && access(exeDir.c_str(), W_OK) == 0 && exeDir.rfind("/usr", 0) != 0)
        return exeDir;
    return ensureFolder(dataHome());
}

std::string appPath(const std::string& name) {
    return applicationDirectory() + "/" + name;
}

}  // namespace parvola
