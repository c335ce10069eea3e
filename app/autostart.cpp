#include "app/autostart.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/file_lock.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;

std::string configHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config";
}

std::string executablePath() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

// One argument of the Exec key: quoted when it holds a reserved character,
// with ", `, $ and \ escaped inside the quotes.
std::string quoteExecArgument(const std::string& argument) {
    static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    if (!argument.empty() && argument.find_first_of(reserved) == std::string::npos)
        return argument;
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

// The Exec value: field codes start with "%", so a literal one is doubled;
// then the general string escapes of the entry format.
std::string execValue(const std::string& executable) {
    std::string argument;
    for (char c : quoteExecArgument(executable)) {
        argument += c;
        if (c == '%')
            argument += '%';
    }
    std::string value;
    for (char c : argument) {
        switch (c) {
            case '\\':
                value += "\\\\";
                break;
            case '\n':
                value += "\\n";
                break;
            case '\t':
                value += "\\t";
                break;
            case '\r':
                value += "\\r";
                break;
            default:
                value += c;
        }
    }
    return value;
}

bool isExecutableFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

constexpr const char* kDesktopClientName = "parvola";

}  // namespace

std::string desktopClientPath(const std::string& selfPath) {
    const fs::path self(selfPath);
    if (self.filename() == kDesktopClientName)
        return selfPath;
    const fs::path folder = self.parent_path();
    for (const fs::path& candidate :
         {folder / kDesktopClientName, folder.parent_path() / "shell" / kDesktopClientName}) {
        if (!selfPath.empty() && isExecutableFile(candidate))
            return candidate.lexically_normal().string();
    }
    return kDesktopClientName;
}

std::string autoStartEntryPath() {
    return configHome() + "/autostart/parvola.desktop";
}

std::string autoStartEntryText(const std::string& executable) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Parvola\n"
           "Exec=" +
           execValue(executable) +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool enableAutoStart() {
    const std::string executable = desktopClientPath(executablePath());
    const fs::path entry = autoStartEntryPath();
    std::error_code error;
    fs::create_directories(entry.parent_path(), error);
    return writeFileAtomically(entry.string(), autoStartEntryText(executable), 0644);
}

bool disableAutoStart() {
    std::error_code error;
    return fs::remove(autoStartEntryPath(), error);
}

}  // namespace parvola
