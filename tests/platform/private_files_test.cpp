// The folders and files the program keeps the user's settings, catalogs and
// pieces in are the owner's alone whatever the umask, and a settings file left
// readable by others is narrowed when it is next written.
#include "platform/private_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/app_dir.h"
#include "platform/file_lock.h"
#include "platform/ini_file.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

unsigned modeOf(const std::filesystem::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return 01000;  // no such file: never a mode
    return st.st_mode & 07777;
}

// A permissive umask for the test's lifetime: what the program creates must
// not depend on the user's having a careful one.
class OpenUmask {
  public:
    OpenUmask() : old_(::umask(0)) {}
    ~OpenUmask() { ::umask(old_); }

  private:
    mode_t old_;
};

TEST(PrivateFiles, FoldersAreCreatedOwnerOnlyAndExistingOnesKeepTheirMode) {
    OpenUmask open;
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const auto deep = dir / "a" / "b" / "c";
    ASSERT_TRUE(createPrivateFolders(deep.string()));
    EXPECT_EQ(modeOf(dir / "a"), 0700u);
    EXPECT_EQ(modeOf(dir / "a" / "b"), 0700u);
    EXPECT_EQ(modeOf(deep), 0700u);
    EXPECT_EQ(modeOf(dir.path()), 0755u);  // not made here: untouched
    ::chmod((dir / "a").c_str(), 0750);
    EXPECT_TRUE(createPrivateFolders(deep.string()));  // all there: nothing changes
    EXPECT_EQ(modeOf(dir / "a"), 0750u);
    // A file in the way is no folder.
    test::writeFile(dir / "file", "x");
    EXPECT_FALSE(createPrivateFolders((dir / "file" / "sub").string()));
    EXPECT_FALSE(createPrivateFolders(""));
}

TEST(PrivateFiles, FilesAreCreatedOrEmptiedOwnerOnlyAndLinksAreNotFollowed) {
    OpenUmask open;
    test::TempDir dir;
    ASSERT_TRUE(createPrivateFile((dir / "new").string()));
    EXPECT_EQ(modeOf(dir / "new"), 0600u);
    test::writeFile(dir / "old", "old bytes");
    ::chmod((dir / "old").c_str(), 0644);
    ASSERT_TRUE(createPrivateFile((dir / "old").string()));
    EXPECT_EQ(modeOf(dir / "old"), 0600u);
    EXPECT_EQ(test::readFile(dir / "old"), "");
    // A link planted where a piece goes must not lead the write elsewhere.
    test::writeFile(dir / "target", "keep");
    ::chmod((dir / "target").c_str(), 0644);
    std::filesystem::create_symlink(dir / "target", dir / "link");
    EXPECT_FALSE(createPrivateFile((dir / "link").string()));
    EXPECT_EQ(test::readFile(dir / "target"), "keep");
    EXPECT_EQ(modeOf(dir / "target"), 0644u);
    EXPECT_FALSE(createPrivateFile((dir / "missing" / "x").string()));
}

TEST(PrivateFiles, TheApplicationDirectoryAndTheFoldersAboveItThatItMadeAreOwnerOnly) {
    OpenUmask open;
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    test::ScopedEnv home("PARVOLA_HOME", (dir / "data" / "parvola").string());
    EXPECT_EQ(applicationDirectory(), (dir / "data" / "parvola").string());
    EXPECT_EQ(modeOf(dir / "data"), 0700u);
    EXPECT_EQ(modeOf(dir / "data" / "parvola"), 0700u);
    EXPECT_EQ(modeOf(dir.path()), 0755u);
}

TEST(PrivateFiles, SettingsAreWrittenOwnerOnlyAndAWiderFileIsNarrowed) {
    OpenUmask open;
    test::TempDir dir;
    const auto ini = dir / "config.ini";
    ASSERT_TRUE(writeProfileString("Generic", "Continue", "true", ini.string()));
    EXPECT_EQ(modeOf(ini), 0600u);
    ::chmod(ini.c_str(), 0664);
    ASSERT_TRUE(writeProfileString("Generic", "AutoStart", "false", ini.string()));
    EXPECT_EQ(modeOf(ini), 0600u);
    EXPECT_EQ(readProfileString("Generic", "Continue", "", ini.string()), "true");
    // Narrowing never widens: a read-only file stays read-only.
    ::chmod(ini.c_str(), 0400);
    ASSERT_TRUE(writeFileAtomically(ini.string(), "[Generic]\n", 0600, ExistingMode::Narrow));
    EXPECT_EQ(modeOf(ini), 0400u);
    // Keep (the default) leaves an existing mode as it was.
    const auto other = dir / "other";
    ASSERT_TRUE(writeFileAtomically(other.string(), "a"));
    EXPECT_EQ(modeOf(other), 0600u);
    ::chmod(other.c_str(), 0644);
    ASSERT_TRUE(writeFileAtomically(other.string(), "b"));
    EXPECT_EQ(modeOf(other), 0644u);
}

}  // namespace
}  // namespace parvola
