#include <gtest/gtest.h>

#include "tests/support/site_process.h"
#include "tests/support/temp_dir.h"
#include "tests/web/scripted_http_peer.h"
#include "web/site_client.h"

namespace parvola {
namespace {

using test::AppHome;
using test::SiteProcess;

struct LoginResult {
    int code = -99;
    std::string password = "<unset>";
    std::string mailbox = "<unset>";
    std::string mailboxPassword = "<unset>";
    int flag = -99;
};

LoginResult login(const std::string& address) {
    LoginResult r;
    r.code = SiteLogin(address, r.password, r.mailbox, r.mailboxPassword, r.flag);
    return r;
}

void pointAt(const AppHome& home, const std::string& base) {
    test::writeFile(home.path() / "deploy.ini", "[site]\nbase=" + base + "\n");
}

class SiteLoginTest : public ::testing::Test {
  protected:
    AppHome home;
    SiteProcess site;
    void SetUp() override {
        ASSERT_TRUE(site.started());
        site.pointClientHere(home.path());
    }
};

TEST_F(SiteLoginTest, UserWithCatalogGetsItsValuesAndFlag1000) {
    ASSERT_TRUE(site.addUser("ann@example.test", "Secret1", "ann.store@sina.test", "boxpw", true));
    LoginResult r = login("ann@example.test");
    ASSERT_EQ(r.code, kSiteOk);
    EXPECT_EQ(r.password, "Secret1");
    EXPECT_EQ(r.mailbox, "ann.store@sina.test");
    EXPECT_EQ(r.mailboxPassword, "boxpw");
    EXPECT_EQ(r.flag, 1000);
}

TEST_F(SiteLoginTest, UserWithoutCatalogGetsFlag0) {
    ASSERT_TRUE(site.addUser("bob@example.test", "pw", "bob@qq.test", "qqpw"));
    LoginResult r = login("bob@example.test");
    ASSERT_EQ(r.code, kSiteOk);
    EXPECT_EQ(r.mailbox, "bob@qq.test");
    EXPECT_EQ(r.flag, 0);
}

TEST_F(SiteLoginTest, ChineseValuesRoundTripThroughGb18030) {
    ASSERT_TRUE(site.addUser("张三@例子.test", "密码&=1", "张三@sina.test", "邮箱 密码"));
    LoginResult r = login("张三@例子.test");
    ASSERT_EQ(r.code, kSiteOk);
    EXPECT_EQ(r.password, "密码&=1");
    EXPECT_EQ(r.mailbox, "张三@sina.test");
    EXPECT_EQ(r.mailboxPassword, "邮箱 密码");
}

TEST_F(SiteLoginTest, LoginIsRecordedWithTheLocalAddress) {
    ASSERT_TRUE(site.addUser("cy@example.test", "pw", "cy@sohu.test", "x"));
    ASSERT_EQ(login("cy@example.test").code, kSiteOk);
    auto entries = site.log("login");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].form.rfind("action=login&email=cy@example.test&ip=", 0), 0u)
        << entries[0].form;
}

// The service answers an unknown address with a well-formed reply whose
// password on record no typed password equals, the empty one included: the
// login then reports a wrong password, not a network problem.
TEST_F(SiteLoginTest, UnknownUserGetsAPasswordNoTypedOneMatches) {
    ASSERT_TRUE(site.addUser("known@example.test", "", "k@sina.test", "x"));
    LoginResult r = login("stranger@example.test");
    ASSERT_EQ(r.code, kSiteOk);
    for (const char* typed : {"", "pw", " ", "Secret1"})
        EXPECT_NE(r.password, typed);
    EXPECT_EQ(r.password, std::string(1, '\0'));
    EXPECT_EQ(r.mailbox, "");
    EXPECT_EQ(r.flag, 0);
    // Addresses are exact: another letter case is another user.
    EXPECT_EQ(login("KNOWN@example.test").password, std::string(1, '\0'));
    EXPECT_EQ(login("known@example.test").password, "");
}

TEST_F(SiteLoginTest, ReAddedUserGetsTheNewValues) {
    ASSERT_TRUE(site.addUser("dee@example.test", "old", "dee@tom.test", "a", true));
    ASSERT_TRUE(site.addUser("dee@example.test", "new", "dee@21cn.test", "b"));
    LoginResult r = login("dee@example.test");
    ASSERT_EQ(r.code, kSiteOk);
    EXPECT_EQ(r.password, "new");
    EXPECT_EQ(r.mailbox, "dee@21cn.test");
    EXPECT_EQ(r.flag, 0);
}

TEST(SiteLogin, UnreachableServiceIsPostFailedAndLeavesTheOutputs) {
    AppHome home;
    pointAt(home, "http://127.0.0.1:1");
    LoginResult r = login("ann@example.test");
    EXPECT_EQ(r.code, kSitePostFailed);
    EXPECT_EQ(r.password, "<unset>");
    EXPECT_EQ(r.flag, -99);
}

TEST(SiteLogin, ErrorStatusIsPostFailed) {
    AppHome home;
    test::ScriptedHttpPeer peer(500, "a<br>b<br>c<br><br>1");
    pointAt(home, peer.url(""));
    EXPECT_EQ(login("ann@example.test").code, kSitePostFailed);
}

TEST(SiteLogin, ReplyWithTwoTagsIsBadReply) {
    AppHome home;
    test::ScriptedHttpPeer peer(200, "pw<br>\r\nbox@sina.test<br>\r\n");
    pointAt(home, peer.url("/"));
    LoginResult r = login("ann@example.test");
    EXPECT_EQ(r.code, kSiteBadReply);
    EXPECT_EQ(r.password, "<unset>");
    EXPECT_EQ(peer.seen().path, "/qk7rta$19bw4xn8p6.php");
}

TEST(SiteLogin, ScriptedReplyShapesGiveTheirFlags) {
    AppHome home;
    {
        test::ScriptedHttpPeer peer(200,
                                    "pw<br>\r\nbox@sina.test<br>\r\nbpw<br>\r\n<br>\r\nyes\r\n");
        pointAt(home, peer.url(""));
        LoginResult r = login("a@b.test");
        ASSERT_EQ(r.code, kSiteOk);
        EXPECT_EQ(r.password, "pw");
        EXPECT_EQ(r.mailbox, "box@sina.test");
        EXPECT_EQ(r.mailboxPassword, "bpw");
        EXPECT_EQ(r.flag, 1000);
    }
    {
        // The line end after the fourth tag is not text.
        test::ScriptedHttpPeer peer(200, "pw<br>\r\nbox@sina.test<br>\r\nbpw<br>\r\n<br>\r\n");
        pointAt(home, peer.url(""));
        LoginResult r = login("a@b.test");
        ASSERT_EQ(r.code, kSiteOk);
        EXPECT_EQ(r.flag, 0);
    }
}

}  // namespace
}  // namespace parvola
