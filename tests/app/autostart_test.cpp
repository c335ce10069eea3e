#include "app/autostart.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;

TEST(AutoStart, EntryIsWrittenAndRemovedUnderTheConfigHome) {
    test::TempDir config{"parvola-config"};
    test::ScopedEnv env{"XDG_CONFIG_HOME", config.str()};
    const fs::path entry = config / "autostart" / "parvola.desktop";
    EXPECT_EQ(fs::path(autoStartEntryPath()), entry);

    EXPECT_FALSE(disableAutoStart());  // nothing to remove
    ASSERT_TRUE(enableAutoStart());
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(test::readFile(entry), autoStartEntryText(desktopClientPath(self)));
    ASSERT_TRUE(enableAutoStart());  // overwrites
    EXPECT_EQ(fs::status(entry).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);

    EXPECT_TRUE(disableAutoStart());
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_FALSE(disableAutoStart());
}

// Whichever client writes the entry, it starts the desktop client.
TEST(AutoStart, TheEntryStartsTheDesktopClient) {
    test::TempDir dir{"parvola-install"};
    auto program = [&](const std::string& relative) {
        fs::create_directories((dir / relative).parent_path());
        test::writeFile(dir / relative, "#!/bin/sh\n");
        fs::permissions(dir / relative, fs::perms::owner_all);
        return (dir / relative).string();
    };
    EXPECT_EQ(desktopClientPath("/usr/bin/parvola"), "/usr/bin/parvola");
    // Nothing beside it: the name alone, for the session's PATH.
    EXPECT_EQ(desktopClientPath(program("lone/parvola-cli")), "parvola");
    // Installed side by side, and in the build tree.
    const std::string installed = program("bin/parvola");
    EXPECT_EQ(desktopClientPath(program("bin/parvola-cli")), installed);
    const std::string built = program("build/shell/parvola");
    EXPECT_EQ(desktopClientPath(program("build/cli/parvola-cli")), built);
    // A file that cannot run is no client.
    fs::create_directories(dir / "plain");
    test::writeFile(dir / "plain/parvola", "");
    fs::permissions(dir / "plain/parvola", fs::perms::owner_read);
    EXPECT_EQ(desktopClientPath((dir / "plain/parvola-cli").string()), "parvola");
}

TEST(AutoStart, WithoutXdgConfigHomeTheEntryIsUnderHome) {
    test::TempDir home{"parvola-userhome"};
    test::ScopedEnv homeEnv{"HOME", home.str()};
    test::ScopedEnv config{"XDG_CONFIG_HOME", ""};
    EXPECT_EQ(fs::path(autoStartEntryPath()), home / ".config" / "autostart" / "parvola.desktop");
    test::ScopedEnv relative{"XDG_CONFIG_HOME", "relative/dir"};  // not absolute: ignored
    EXPECT_EQ(fs::path(autoStartEntryPath()), home / ".config" / "autostart" / "parvola.desktop");
}

TEST(AutoStart, ExecKeyQuotesWhatTheEntryFormatReserves) {
    EXPECT_EQ(autoStartEntryText("/usr/bin/parvola"),
              "[Desktop Entry]\nType=Application\nName=Parvola\nExec=/usr/bin/parvola\n"
              "Terminal=false\nX-GNOME-Autostart-enabled=true\n");
    const std::string text = autoStartEntryText("/opt/my apps/50%/a$b\"c\\d");
    // Quoted; $ " \ escaped inside the quotes; % doubled; then \ escaped for the string.
    EXPECT_NE(text.find("\nExec=\"/opt/my apps/50%%/a\\\\$b\\\\\"c\\\\\\\\d\"\n"),
              std::string::npos)
        << text;
}

}  // namespace
}  // namespace parvola
