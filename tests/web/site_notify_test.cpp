#include <gtest/gtest.h>

#include "tests/support/site_process.h"
#include "tests/support/temp_dir.h"
#include "web/site_client.h"
#include "web/site_forms.h"

namespace parvola {
namespace {

using test::AppHome;
using test::SiteProcess;

class SiteNotifyTest : public ::testing::Test {
  protected:
    AppHome home;
    SiteProcess site;
    void SetUp() override {
        ASSERT_TRUE(site.started());
        site.pointClientHere(home.path());
    }
};

TEST_F(SiteNotifyTest, CatalogNotificationsAreStoredInOrderAsSent) {
    const std::string xml = xmlForm("ann@example.test", 7, 3u << 20);
    const std::string del = deleteForm("ann@example.test", "报告.doc", "24-03-05 07:08:09");
    const std::string share = shareForm("ann@example.test", "192.168.0.9");
    EXPECT_EQ(SiteNotify(xml), kSiteOk);
    EXPECT_EQ(SiteNotify(del), kSiteOk);
    EXPECT_EQ(SiteNotify(share), kSiteOk);

    auto entries = site.log();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].kind, "xml");
    EXPECT_EQ(entries[0].form, "action=xml&email=ann@example.test&xml=7&share=3.6000");
    EXPECT_EQ(entries[1].kind, "delete");
    EXPECT_EQ(entries[1].form, del);
    EXPECT_EQ(entries[2].kind, "share");
    EXPECT_EQ(entries[2].form, share);
    EXPECT_FALSE(entries[0].time.empty());
}

TEST_F(SiteNotifyTest, FileNameWithAmpersandAndEqualsIsStoredExactly) {
    for (std::string name : {"R&D=plan.doc", "a&time=b=c&filename=d.txt", "100%41 + 1&=.zip", "&",
                             "=", "tab\there", "行\n换"}) {
        const std::string form = deleteForm("ann@example.test", name, "24-12-31 23:59:59");
        EXPECT_EQ(SiteNotify(form), kSiteOk) << name;
        auto entries = site.log("delete");
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries.back().form, form) << name;
    }
}

TEST_F(SiteNotifyTest, RefusedNotificationIsPostFailed) {
    EXPECT_EQ(SiteNotify("action=bogus&email=a"), kSitePostFailed);
    EXPECT_EQ(SiteNotify("action=xml&email=a&xml=notanumber&share=1.0000"), kSitePostFailed);
    EXPECT_EQ(SiteNotify(""), kSitePostFailed);
    EXPECT_TRUE(site.log().empty());
}

TEST_F(SiteNotifyTest, WebLoginIsRecordedEvenWhenEmpty) {
    EXPECT_EQ(SiteWebLogin(webLoginForm("box@sina.test", "p&w=d")), kSiteOk);
    EXPECT_EQ(SiteWebLogin(""), kSiteOk);
    auto entries = site.log("weblogin");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].form, "email=box@sina.test&password=p&w=d");
    EXPECT_EQ(entries[1].form, "");
}

TEST(SiteNotify, UnreachableServiceIsPostFailed) {
    AppHome home;
    test::writeFile(home.path() / "deploy.ini", "[site]\nbase=http://127.0.0.1:1/\n");
    EXPECT_EQ(SiteNotify(shareForm("a@b.test", "1.2.3.4")), kSitePostFailed);
    EXPECT_EQ(SiteWebLogin(webLoginForm("a", "b")), kSitePostFailed);
}

TEST(SitePages, AddressesComeFromTheDeployment) {
    AppHome home;
    test::writeFile(home.path() / "deploy.ini",
                    "[site]\nbase=http://127.0.0.1:5000/\ngroup=http://127.0.0.2:6000\n");
    EXPECT_EQ(notificationPageUrl(), "http://127.0.0.1:5000/qk7rta$19bw4xn8p6.php");
    EXPECT_EQ(siteLoginPageUrl(), "http://127.0.0.1:5000/login.php");
    EXPECT_EQ(informationPageUrl(), "http://127.0.0.1:5000/softinfo.html");
    EXPECT_EQ(advertPageUrl(), "http://127.0.0.1:5000/softad.html");
    EXPECT_EQ(registerPageUrl(), "http://127.0.0.1:5000/register.php");
    EXPECT_EQ(groupLoginPageUrl(), "http://127.0.0.2:6000/group_login.php");
}

}  // namespace
}  // namespace parvola
