#include <gtest/gtest.h>

#include "mail/mailbox_account.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

class ProviderTable : public ::testing::Test {
  protected:
    test::AppHome home_;  // built-in hosts, no deploy.ini

    MailboxAccount select(const std::string& address) {
        MailboxAccount account("typed@x", "pw");
        account.SelectProvider(address);
        return account;
    }
};

TEST_F(ProviderTable, KeywordAfterASubDomainSelectsItsRow) {
    MailboxAccount a = select("alice@vip.sina.com");
    EXPECT_EQ(a.mailboxUser, "alice");
    EXPECT_EQ(a.smtpHost, "smtp.sina.com.cn");
    EXPECT_EQ(a.pop3Host, "pop3.sina.com.cn");
}

TEST_F(ProviderTable, UpperCaseDomainSelectsByUpperKeywordAndMixedCaseMatchesNothing) {
    EXPECT_EQ(select("bob@SOHU.COM").smtpHost, "smtp.sohu.com");
    MailboxAccount mixed = select("bob@Sohu.com");
    EXPECT_EQ(mixed.smtpHost, "");
    EXPECT_EQ(mixed.pop3Host, "");
    EXPECT_EQ(mixed.mailboxUser, "bob");
}

TEST_F(ProviderTable, SubstringMatchAndFirstRowWins) {
    EXPECT_EQ(select("x@atomic.example").pop3Host, "pop.tom.com");      // "tom" inside a word
    EXPECT_EQ(select("x@qq-foxmail.example").smtpHost, "smtp.qq.com");  // rows 6 and 7: 6 wins
}

TEST_F(ProviderTable, OnlyTheDomainPartIsSearched) {
    MailboxAccount a = select("sina@example.org");
    EXPECT_EQ(a.smtpHost, "");
    EXPECT_EQ(a.mailboxUser, "sina");
    MailboxAccount noAt = select("plainsohu");  // no "@": whole text searched, no user name
    EXPECT_EQ(noAt.mailboxUser, "");
    EXPECT_EQ(noAt.smtpHost, "smtp.sohu.com");
}

TEST_F(ProviderTable, NoMatchKeepsPreviousHosts) {
    MailboxAccount a("t", "p");
    a.SelectProvider("u@qq.com");
    a.SelectProvider("u@unknown.org");
    EXPECT_EQ(a.smtpHost, "smtp.qq.com");
    EXPECT_EQ(a.mailboxUser, "u");
}

TEST_F(ProviderTable, DeployIniPointsRowsAtOtherHostsAndPorts) {
    test::writeFile(home_.path() / "deploy.ini",
                    "[ports]\nsmtp=2525\npop3=1110\n[sohu]\nsmtp=127.0.0.2\npop3=127.0.0.2\n");
    MailboxAccount a = select("demo@sohu.test");
    EXPECT_EQ(a.smtpHost, "127.0.0.2");
    EXPECT_EQ(a.pop3Host, "127.0.0.2");
    EXPECT_EQ(a.smtpPort, 2525);
    EXPECT_EQ(a.pop3Port, 1110);
}

}  // namespace
}  // namespace parvola
