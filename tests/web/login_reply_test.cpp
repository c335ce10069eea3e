#include "web/login_reply.h"

#include <gtest/gtest.h>

#include "web/site_client.h"

namespace parvola {
namespace {

TEST(LoginReply, ThreeTextsThenTagAndTextGiveFlag1000) {
    SiteLoginReply out;
    ASSERT_EQ(parseSiteLoginReply("secret<br>box@sina.test<br>boxpw<br><br>1", out), kSiteOk);
    EXPECT_EQ(out.passwordOnRecord, "secret");
    EXPECT_EQ(out.mailboxAddress, "box@sina.test");
    EXPECT_EQ(out.mailboxPassword, "boxpw");
    EXPECT_EQ(out.catalogFlag, 1000);
}

TEST(LoginReply, NothingAfterTheFourthTagGivesFlag0) {
    SiteLoginReply out;
    out.catalogFlag = 77;
    ASSERT_EQ(parseSiteLoginReply("secret<br>box@sina.test<br>boxpw<br>anything<br>", out),
              kSiteOk);
    EXPECT_EQ(out.passwordOnRecord, "secret");
    EXPECT_EQ(out.mailboxPassword, "boxpw");
    EXPECT_EQ(out.catalogFlag, 0);
}

TEST(LoginReply, AnyTextAfterTheFourthTagCounts) {
    SiteLoginReply out;
    ASSERT_EQ(parseSiteLoginReply("a<br>b<br>c<br><br> ", out), kSiteOk);
    EXPECT_EQ(out.catalogFlag, 1000);
}

TEST(LoginReply, EmptyValuesAndChineseTextAreKept) {
    SiteLoginReply out;
    ASSERT_EQ(parseSiteLoginReply("密码<br><br>邮箱密码<br><br>", out), kSiteOk);
    EXPECT_EQ(out.passwordOnRecord, "密码");
    EXPECT_EQ(out.mailboxAddress, "");
    EXPECT_EQ(out.mailboxPassword, "邮箱密码");
}

TEST(LoginReply, OtherLineBreakTagsAreAccepted) {
    SiteLoginReply out;
    ASSERT_EQ(parseSiteLoginReply("p<br/>m<BR>w<br />x<Br>", out), kSiteOk);
    EXPECT_EQ(out.passwordOnRecord, "p");
    EXPECT_EQ(out.mailboxAddress, "m");
    EXPECT_EQ(out.mailboxPassword, "w");
    EXPECT_EQ(out.catalogFlag, 0);
}

TEST(LoginReply, TooFewTagsGiveBadReplyAndLeaveTheOutputAlone) {
    SiteLoginReply out;
    out.passwordOnRecord = "untouched";
    EXPECT_EQ(parseSiteLoginReply("secret<br>box@sina.test<br>", out), kSiteBadReply);
    EXPECT_EQ(parseSiteLoginReply("secret<br>box@sina.test<br>boxpw<br>", out), kSiteBadReply);
    EXPECT_EQ(parseSiteLoginReply("", out), kSiteBadReply);
    EXPECT_EQ(out.passwordOnRecord, "untouched");
}

// Replies that merely contain the letter "r" somewhere, or tags that are not
// line breaks, must not pass as a login with made-up values.
TEST(LoginReply, TextWithoutLineBreakTagsIsBadReply) {
    SiteLoginReply out;
    EXPECT_EQ(parseSiteLoginReply("error: server overloaded", out), kSiteBadReply);
    EXPECT_EQ(parseSiteLoginReply("<html><body>Service unavailable</body></html>", out),
              kSiteBadReply);
    EXPECT_EQ(parseSiteLoginReply("a<p>b<p>c<p>d<p>", out), kSiteBadReply);
    // An unclosed tag at the end.
    EXPECT_EQ(parseSiteLoginReply("a<br>b<br>c<br>d<br", out), kSiteBadReply);
}

TEST(LoginReply, NulInThePasswordOnRecordIsKept) {
    SiteLoginReply out;
    ASSERT_EQ(parseSiteLoginReply(std::string(1, '\0') + "<br><br><br><br>", out), kSiteOk);
    EXPECT_EQ(out.passwordOnRecord, std::string(1, '\0'));
    EXPECT_NE(out.passwordOnRecord, "");
}

}  // namespace
}  // namespace parvola
