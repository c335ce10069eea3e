#include "app/ini_settings.h"

#include <gtest/gtest.h>

#include "app/process_state.h"
#include "mail/base64.h"
#include "platform/ini_file.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

class IniSettingsTest : public ::testing::Test {
  protected:
    test::AppHome home_;
    std::string configPath() const { return (home_.path() / "config.ini").string(); }
    void setKey(const char* key, const std::string& value) {
        ASSERT_TRUE(writeProfileString("Generic", key, value, configPath()));
    }
    std::string key(const char* name) const {
        return readProfileString("Generic", name, "<missing>", configPath());
    }
};

TEST_F(IniSettingsTest, LivesInTheApplicationDirectoryAndMissingKeysReadAsDefaults) {
    IniSettings settings;
    EXPECT_EQ(settings.path(), configPath());
    EXPECT_FALSE(settings.continueFlag());
    EXPECT_TRUE(settings.accounts().empty());
    EXPECT_FALSE(settings.hasDefaultDownloadFolder());
    EXPECT_EQ(settings.defaultDownloadFolder(), "");
    EXPECT_FALSE(settings.readAutoStart());
    EXPECT_EQ(settings.readRemainTask(), "");
}

TEST_F(IniSettingsTest, RememberedAccountsLoadInFileOrderWithDecodedPasswords) {
    setKey("user", "a@sina.test:" + base64Encode("pw one") +
                       ";b@qq.test:;c@tom.test:" + base64Encode("密码") + ";");
    IniSettings settings;
    const std::vector<RememberedAccount> expected{
        {"a@sina.test", "pw one"}, {"b@qq.test", ""}, {"c@tom.test", "密码"}};
    EXPECT_EQ(settings.accounts(), expected);
}

TEST_F(IniSettingsTest, OnlyEntriesEndingWithinTheFirst255CharactersLoad) {
    std::string value;
    std::vector<std::string> names;
    for (int i = 0; value.size() < 300; ++i) {
        names.push_back("account" + std::to_string(i) + "@example.test");
        value += names.back() + ":" + base64Encode("secret") + ";";
    }
    setKey("user", value);
    IniSettings settings;
    // Every entry whose ";" lies at byte 255 or earlier, none after.
    size_t expected = 0;
    for (size_t end = value.find(';'); end != std::string::npos && end < 255;
         end = value.find(';', end + 1))
        ++expected;
    ASSERT_GT(expected, 0u);
    ASSERT_LT(expected, names.size());
    ASSERT_EQ(settings.accounts().size(), expected);
    EXPECT_EQ(settings.accounts().back().account, names[expected - 1]);

    // Exactly 255 characters ending in ";" still load whole.
    const std::string entry = std::string(254 - 5, 'x') + ":" + "YWJj" + ";";
    ASSERT_EQ(entry.size(), 255u);
    setKey("user", entry + "late:YWJj;");
    EXPECT_EQ(IniSettings().accounts().size(), 1u);
}

TEST_F(IniSettingsTest, AnEntryWithoutColonIsAnEmptyAccountWithTheWholeEntryAsPassword) {
    setKey("user", "YWJj;x@y:!!;");
    IniSettings settings;
    ASSERT_EQ(settings.accounts().size(), 2u);
    EXPECT_EQ(settings.accounts()[0], (RememberedAccount{"", "abc"}));
    EXPECT_EQ(settings.accounts()[1].account, "x@y");  // invalid Base64: no error
    EXPECT_EQ(settings.accounts()[1].password, "");
    EXPECT_TRUE(parseRememberedAccounts("tail-without-semicolon").empty());
}

TEST_F(IniSettingsTest, RememberingReplacesInPlaceOrAppends) {
    IniSettings settings;
    ASSERT_TRUE(settings.rememberAccount("a@sina.test", "one"));
    ASSERT_TRUE(settings.rememberAccount("b@qq.test", "two"));
    ASSERT_TRUE(settings.rememberAccount("a@sina.test", ""));  // "remember password" unchecked
    EXPECT_EQ(key("user"), "a@sina.test:;b@qq.test:" + base64Encode("two") + ";");
    ASSERT_TRUE(settings.rememberAccount("A@sina.test", "x"));  // case matters
    EXPECT_EQ(IniSettings().accounts().size(), 3u);
    EXPECT_EQ(IniSettings().accounts()[2].account, "A@sina.test");
}

TEST_F(IniSettingsTest, RememberingKeepsWhatAnotherRecordWroteMeanwhile) {
    IniSettings early;
    IniSettings other;
    ASSERT_TRUE(other.rememberAccount("other@qq.test", "o"));
    ASSERT_TRUE(early.rememberAccount("early@qq.test", "e"));
    const auto accounts = IniSettings().accounts();
    ASSERT_EQ(accounts.size(), 2u);
    EXPECT_EQ(accounts[0].account, "other@qq.test");
    EXPECT_EQ(accounts[1].account, "early@qq.test");
}

TEST_F(IniSettingsTest, ElevenRememberedAccountsTakeNoMoreAndNoUpdate) {
    IniSettings settings;
    for (int i = 0; i < 11; ++i)
        ASSERT_TRUE(settings.rememberAccount("u" + std::to_string(i), "p"));
    const std::string before = test::readFile(configPath());
    EXPECT_FALSE(settings.rememberAccount("new", "p"));
    EXPECT_FALSE(settings.rememberAccount("u3", "changed"));
    EXPECT_EQ(test::readFile(configPath()), before);
    EXPECT_EQ(IniSettings().accounts().size(), 11u);
    EXPECT_EQ(IniSettings().accounts()[3].password, "p");
}

TEST_F(IniSettingsTest, AccountsThatWouldSpoilTheListAreNotRemembered) {
    IniSettings settings;
    ASSERT_TRUE(settings.rememberAccount("good@x", "p;w:d"));  // Base64 hides these
    EXPECT_FALSE(settings.rememberAccount("a;b@x", "p"));
    EXPECT_FALSE(settings.rememberAccount("a:b@x", "p"));
    EXPECT_FALSE(settings.rememberAccount("a\nb@x", "p"));
    const std::vector<RememberedAccount> expected{{"good@x", "p;w:d"}};
    EXPECT_EQ(IniSettings().accounts(), expected);
}

TEST_F(IniSettingsTest, OnlyLowerCaseTrueIsOn) {
    setKey("Continue", "TRUE");
    setKey("AutoStart", "True");
    EXPECT_FALSE(IniSettings().continueFlag());
    EXPECT_FALSE(IniSettings().readContinue());
    EXPECT_FALSE(IniSettings().readAutoStart());
    setKey("Continue", "true");
    EXPECT_TRUE(IniSettings().continueFlag());
    setKey("Continue", "1");
    EXPECT_FALSE(IniSettings().readContinue());

    IniSettings settings;
    ASSERT_TRUE(settings.writeContinue(true));
    ASSERT_TRUE(settings.writeAutoStart(false));
    EXPECT_EQ(key("Continue"), "true");
    EXPECT_EQ(key("AutoStart"), "false");
    EXPECT_TRUE(settings.readContinue());   // read afresh, not cached
    EXPECT_FALSE(settings.continueFlag());  // as loaded at construction
}

TEST_F(IniSettingsTest, DefaultDownloadFolderIsReadWhole) {
    std::string folder = "/home/用户";
    while (folder.size() <= 200)
        folder += "/下载的文件夹";
    ASSERT_GT(folder.size(), 127u);
    IniSettings settings;
    ASSERT_TRUE(settings.writeDefPath(folder));
    EXPECT_TRUE(settings.hasDefaultDownloadFolder());
    EXPECT_EQ(settings.defaultDownloadFolder(), folder);
    EXPECT_EQ(settings.readDefPath(), folder);

    ASSERT_TRUE(settings.writeDefPath(""));  // browser cancelled, then OK
    EXPECT_EQ(key("DefPath"), "");
    EXPECT_FALSE(settings.hasDefaultDownloadFolder());
}

TEST_F(IniSettingsTest, RemainingTaskValueIsReadAndWrittenWhole) {
    const std::string value(20000, 'r');
    IniSettings settings;
    ASSERT_TRUE(settings.writeRemainTask(value));
    EXPECT_EQ(settings.readRemainTask(), value);
}

TEST(ShutdownWhenDone, IsTheProcessValue) {
    EXPECT_FALSE(shutdownWhenDone());
    setShutdownWhenDone(true);
    EXPECT_TRUE(processValues().shutdownWhenDone);
    setShutdownWhenDone(false);
    EXPECT_FALSE(shutdownWhenDone());
}

TEST(ColumnWidths, ReadBackAsWrittenAndNothingFromAValueThatDoesNotParse) {
    test::AppHome home;
    IniSettings settings;
    EXPECT_TRUE(settings.readColumnWidths(kFileListColumnsKey).empty());
    ASSERT_TRUE(settings.writeColumnWidths(kFileListColumnsKey, {260, 100, 9999}));
    EXPECT_EQ(settings.readColumnWidths(kFileListColumnsKey), (std::vector<int>{260, 100, 9999}));
    EXPECT_TRUE(settings.readColumnWidths(kTaskListColumnsKey).empty());
    for (const char* bad : {"260,,100", "260,-1", "10000", "0", "12a"})
        EXPECT_TRUE(parseColumnWidths(bad).empty()) << bad;
}

}  // namespace
}  // namespace parvola
