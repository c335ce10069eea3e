// The command line of parvola-site: add-user, log and serve's refusals.
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>

#include "platform/text_codec.h"
#include "tests/support/site_process.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

using test::SiteProcess;

TEST(SiteCommands, AddUserRefusesValuesThatWouldBreakTheLoginReply) {
    test::TempDir dir;
    const std::string db = (dir / "site.db").string();
    std::string err;
    EXPECT_EQ(SiteProcess::run({"add-user", "--db", db, "a@x", "p<br>", "m", "mp"}, nullptr, &err),
              2);
    EXPECT_NE(err.find("the password must not contain"), std::string::npos) << err;
    EXPECT_EQ(SiteProcess::run({"add-user", "--db", db, "a@x", "p", "m>", "mp"}), 2);
    EXPECT_EQ(SiteProcess::run({"add-user", "--db", db, "a@x", "p", "m", "line\nbreak"}), 2);
    EXPECT_EQ(SiteProcess::run({"add-user", "--db", db, "", "p", "m", "mp"}), 2);
    EXPECT_EQ(SiteProcess::run({"add-user", "--db", db, "a@x", "\xFF", "m", "mp"}), 2);
    EXPECT_EQ(SiteProcess::run({"add-user", "--db", db, "a@x", "p", "m"}), 2);
    EXPECT_EQ(SiteProcess::run({"add-user", "a@x", "p", "m", "mp"}), 2);
    std::string out;
    EXPECT_EQ(SiteProcess::run(
                  {"add-user", "--db", db, "a@x", "p", "m@sina.test", "mp", "--catalog"}, &out),
              0);
    EXPECT_EQ(out, "user a@x: mailbox m@sina.test, catalog flag 1000\n");
}

TEST(SiteCommands, LogPrintsOneLinePerFormWithControlCharactersEscaped) {
    SiteProcess site;
    ASSERT_TRUE(site.started());
    httplib::Client client("127.0.0.1", site.port());
    const std::string form =
        "action=delete&email=a@x.test&filename=a\tb\nc\\d\x01.txt&time=24-01-02 03:04:05";
    auto res = client.Post("/qk7rta$19bw4xn8p6.php", form, "application/x-www-form-urlencoded");
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200);
    std::string out;
    ASSERT_EQ(SiteProcess::run({"log", "--db", site.dbPath()}, &out), 0);
    ASSERT_EQ(out.size() - out.find('\t'),
              std::string("\tdelete\taction=delete&email=a@x.test&filename=a\\tb\\nc\\\\d\\x01.txt"
                          "&time=24-01-02 03:04:05\n")
                  .size())
        << out;
    EXPECT_NE(out.find("\tdelete\taction=delete&email=a@x.test&filename=a\\tb\\nc\\\\d\\x01.txt"
                       "&time=24-01-02 03:04:05\n"),
              std::string::npos)
        << out;
    // The helper undoes the escapes.
    auto entries = site.log();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].form, form);
}

TEST(SiteCommands, LogOfAMissingDatabaseFailsWithoutCreatingIt) {
    test::TempDir dir;
    const auto db = dir / "absent.db";
    std::string err;
    EXPECT_EQ(SiteProcess::run({"log", "--db", db.string()}, nullptr, &err), 1);
    EXPECT_NE(err.find("cannot open database"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(db));
}

TEST(SiteCommands, ServeRefusesABusyPortAndBadArguments) {
    SiteProcess site;
    ASSERT_TRUE(site.started());
    test::TempDir dir;
    const std::string db = (dir / "other.db").string();
    std::string err;
    EXPECT_EQ(SiteProcess::run({"serve", "--db", db, "--port", std::to_string(site.port())},
                               nullptr, &err),
              1);
    EXPECT_NE(err.find("cannot listen on 127.0.0.1:" + std::to_string(site.port())),
              std::string::npos)
        << err;
    EXPECT_EQ(SiteProcess::run({"serve", "--db", db, "--port", "70000"}), 2);
    EXPECT_EQ(SiteProcess::run({"serve", "--port", "0"}), 2);
    EXPECT_EQ(SiteProcess::run({"frobnicate"}), 2);
    EXPECT_EQ(SiteProcess::run({}), 2);
}

}  // namespace
}  // namespace parvola
