#include "app/process_state.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

class ProcessState : public ::testing::Test {
  protected:
    test::TempDir runtime_{"parvola-run"};
    test::ScopedEnv env_{"XDG_RUNTIME_DIR", runtime_.str()};
    void SetUp() override { clearLoggedInAccounts(); }
    void TearDown() override { clearLoggedInAccounts(); }
};

TEST_F(ProcessState, LookupIsExactAndCaseSensitiveAndCopiesTheFirstMatch) {
    MailboxAccount a("Alice@Sina.test", "pw1");
    a.mailboxUser = "alice";
    ASSERT_TRUE(addLoggedInAccount(a));
    MailboxAccount b("bob@sohu.test", "pw2");
    ASSERT_TRUE(addLoggedInAccount(b));

    MailboxAccount found;
    EXPECT_EQ(findLoggedInAccount("Alice@Sina.test", found), 0);
    EXPECT_EQ(found.mailboxUser, "alice");
    EXPECT_EQ(found.typedPassword, "pw1");

    MailboxAccount untouched("keep", "me");
    EXPECT_EQ(findLoggedInAccount("alice@sina.test", untouched), -1);
    EXPECT_EQ(untouched.typedAddress, "keep");
    EXPECT_EQ(findLoggedInAccount("", untouched), -1);
}

TEST_F(ProcessState, AnAddressIsLoggedInOnlyOnce) {
    ASSERT_TRUE(addLoggedInAccount(MailboxAccount("a@qq.test", "x")));
    EXPECT_FALSE(addLoggedInAccount(MailboxAccount("a@qq.test", "y")));
    EXPECT_TRUE(addLoggedInAccount(MailboxAccount("A@qq.test", "y")));
    EXPECT_EQ(loggedInAccounts().size(), 2u);
    EXPECT_FALSE(processValues().shutdownWhenDone);
}

}  // namespace
}  // namespace parvola
