// settings: show and set the options of the desktop client's settings dialog.
#include <iostream>

#include "app/autostart.h"
#include "app/ini_settings.h"
#include "cli/cli_command.h"
#include "cli/option_parser.h"

namespace parvola::cli {
namespace {

const char* onOff(bool value) {
    return value ? "true" : "false";
}

std::optional<bool> parseBool(const std::string& text) {
    if (text == "true" || text == "on" || text == "yes")
        return true;
    if (text == "false" || text == "off" || text == "no")
        return false;
    return std::nullopt;
}

// 1 to kMaxConnections from its decimal text; 0 for anything else.
int connectionCount(const std::string& text) {
    if (text.empty() || text.size() > 2 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const int count = std::stoi(text);
    return count >= 1 && count <= kMaxConnections ? count : 0;
}

int runSettings(const std::vector<std::string>& args, const GlobalOptions&) {
    OptionParser parser(args);
    auto key = parser.positional(0);
    auto value = parser.positional(1);
    if (!parser.done(2) || (key && !value))
        return kExitUsage;
    IniSettings settings;
    if (!key) {
        std::cout << "autostart = " << onOff(settings.readAutoStart()) << "\n"
                  << "continue  = " << onOff(settings.readContinue()) << "\n"
                  << "defpath   = " << settings.readDefPath() << "\n"
                  << "connections = " << settings.readConnections() << std::endl;
        return kExitOk;
    }
    if (*key == "defpath") {
        settings.writeDefPath(*value);
        return kExitOk;
    }
    if (*key == "connections") {
        const int count = connectionCount(*value);
        if (count == 0)
            return kExitUsage;
        settings.writeConnections(count);
        return kExitOk;
    }
    auto flag = parseBool(*value);
    if (!flag)
        return kExitUsage;
    if (*key == "autostart") {
        // Carried out as the dialog does: the desktop entry, then the key.
        if (*flag)
            enableAutoStart();
        else
            disableAutoStart();
        settings.writeAutoStart(*flag);
    } else if (*key == "continue") {
        settings.writeContinue(*flag);
    } else {
        return kExitUsage;
    }
    return kExitOk;
}

}  // namespace

Command settingsCommand() {
    return {"settings", "show or set the client's options",
            "usage: parvola-cli settings [KEY VALUE]\n"
            "  Without arguments shows the options. Keys:\n"
            "    autostart true|false   start the desktop client at login (开机启动)\n"
            "    continue  true|false   continue unfinished tasks after start\n"
            "    defpath   FOLDER       default download folder (empty: ask each time)\n"
            "    connections N          connections one transfer uses at once (1-16)\n",
            runSettings};
}

}  // namespace parvola::cli
