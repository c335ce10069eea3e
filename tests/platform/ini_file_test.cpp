#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

TEST(IniFile, MissingFileOrKeyReadsAsDefault) {
    test::TempDir dir;
    const std::string path = (dir / "config.ini").string();
    EXPECT_EQ(readProfileString("Generic", "user", "none", path), "none");
    EXPECT_EQ(readProfileInt("Generic", "AutoStart", 7, path), 7);
    ASSERT_TRUE(writeProfileString("Generic", "other", "1", path));
    EXPECT_EQ(readProfileString("Generic", "user", "none", path), "none");
}

TEST(IniFile, SectionsAndKeysIgnoreAsciiCaseAndOtherLinesStay) {
    test::TempDir dir;
    const std::string path = (dir / "config.ini").string();
    test::writeFile(path,
                    "; kept comment\r\n[generic]\r\nUser = alice "
                    "\r\nAutoStart=1\r\n\r\n[Other]\r\nuser=bob\r\n");
    EXPECT_EQ(readProfileString("GENERIC", "user", "", path), "alice");
    EXPECT_EQ(readProfileString("other", "USER", "", path), "bob");
    EXPECT_EQ(readProfileInt("Generic", "autostart", 0, path), 1);

    ASSERT_TRUE(writeProfileString("Generic", "USER", "carol", path));
    ASSERT_TRUE(writeProfileString("Generic", "NewKey", "x=y", path));
    ASSERT_TRUE(writeProfileString("Third", "k", "v", path));
    EXPECT_EQ(
        test::readFile(path),
        "; kept comment\n[generic]\nUSER=carol\nAutoStart=1\nNewKey=x=y\n\n[Other]\nuser=bob\n"
        "[Third]\nk=v\n");
    EXPECT_EQ(readProfileString("generic", "newkey", "", path), "x=y");
}

TEST(IniFile, DeleteKeyAndRefuseLineBreaks) {
    test::TempDir dir;
    const std::string path = (dir / "c.ini").string();
    ASSERT_TRUE(writeProfileString("Generic", "a", "1", path));
    ASSERT_TRUE(writeProfileString("Generic", "b", "2", path));
    ASSERT_TRUE(writeProfileString("Generic", "a", std::nullopt, path));
    EXPECT_EQ(readProfileString("Generic", "a", "gone", path), "gone");
    EXPECT_EQ(readProfileString("Generic", "b", "", path), "2");
    EXPECT_FALSE(writeProfileString("Generic", "c", "two\nlines", path));
    EXPECT_EQ(readProfileString("Generic", "c", "none", path), "none");
}

TEST(IniFile, BufferSizeCutsLikeAFixedBuffer) {
    test::TempDir dir;
    const std::string path = (dir / "c.ini").string();
    const std::string longValue(300, 'v');
    ASSERT_TRUE(writeProfileString("Generic", "user", longValue, path));
    EXPECT_EQ(readProfileString("Generic", "user", "", path, 256).size(), 255u);
    EXPECT_EQ(readProfileString("Generic", "user", "", path), longValue);
    EXPECT_EQ(readProfileInt("Generic", "user", -5, path), -5);
}

TEST(IniFile, NewFileIsPrivateAndQuotesAreStripped) {
    test::TempDir dir;
    const std::string path = (dir / "c.ini").string();
    ASSERT_TRUE(writeProfileString("Generic", "q", "\"quoted value\"", path));
    EXPECT_EQ(readProfileString("Generic", "q", "", path), "quoted value");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// Two processes write different keys of one file at the same time: each write
// is a whole read-change-rename under the file's lock, so no key is lost.
TEST(IniFile, TwoProcessesWritingDifferentKeysLoseNothing) {
    test::TempDir dir;
    const std::string path = (dir / "config.ini").string();
    constexpr int kKeys = 150;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int i = 0; i < kKeys; ++i)
            if (!writeProfileString("Generic", "child" + std::to_string(i), std::to_string(i),
                                    path))
                _exit(1);
        _exit(0);
    }
    for (int i = 0; i < kKeys; ++i)
        ASSERT_TRUE(
            writeProfileString("Generic", "parent" + std::to_string(i), std::to_string(i), path));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int i = 0; i < kKeys; ++i) {
        EXPECT_EQ(readProfileInt("Generic", "child" + std::to_string(i), -1, path), i);
        EXPECT_EQ(readProfileInt("Generic", "parent" + std::to_string(i), -1, path), i);
    }
}

}  // namespace
}  // namespace parvola
