// An upload the SMTP server refuses tells the user the server's own words,
// once, through the upload worker's real path: a message too big, a mailbox
// over its quota, a try-later answer. Credentials a server echoes are masked,
// and a connection that ends without an answer still gives the network text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ini_settings.h"
#include "app/process_state.h"
#include "catalog/catalog.h"
#include "catalog/catalog_hooks.h"
#include "platform/notice_box.h"
#include "tests/mail/smtp_test_support.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/temp_dir.h"
#include "tests/transfer/fake_retry_clock.h"
#include "transfer/task_list.h"
#include "transfer/transfer_workers.h"

namespace parvola::test {
namespace {

constexpr const char* kAddress = "bob@sina.test";
constexpr const char* kMailboxPassword = "Mb-5e1c-SECRET-k2";
constexpr const char* kFolder = "我的文档";

class UploadRefusal : public ::testing::Test {
  protected:
    void SetUp() override {
        // No web service and no catalog mail: the scripted server hears only the piece.
        savedHooks_ = catalogHooks();
        CatalogHooks quiet = savedHooks_;
        quiet.notify = [](const std::string&) {};
        quiet.startCatalogMail = nullptr;
        setCatalogHooks(quiet);
        Catalog catalog(kAddress);
        ASSERT_EQ(catalog.createNew(kAddress), 0);
        path_ = (files_ / "报告.bin").string();
        writeFile(path_, randomBytes(4000, 3));
        taskList().clear();
        // The scripted server plays one session: a failure that may pass is
        // not tried again here (the retries have tests of their own).
        ASSERT_TRUE(IniSettings().writeRetryTries(0));
    }
    void TearDown() override {
        clearLoggedInAccounts();
        taskList().clear();
        setCatalogHooks(savedHooks_);
    }

    // Logs the account in against the scripted server at `port`.
    void loginAt(int port) {
        MailboxAccount account(kAddress, "Pw-7f3a-SECRET-q9");
        account.loginAddress = account.mailboxAddress = kAddress;
        account.mailboxUser = "bob";
        account.mailboxPassword = kMailboxPassword;
        account.smtpHost = "127.0.0.1";
        account.smtpPort = port;
        ASSERT_TRUE(addLoggedInAccount(account));
    }

    // The server's opening and AUTH LOGIN of the account above.
    static void openAndLogIn(ScriptedPeer& peer) {
        greetEsmtp(peer);
        peer.expectLine("AUTH LOGIN\r\n")
            .reply(prompt("Username:"))
            .expectLine(b64Line("bob"))
            .reply(prompt("Password:"))
            .expectLine(b64Line(kMailboxPassword))
            .reply("235 2.7.0 Authentication succeeded\r\n");
    }

    // Plays the mail up to `step` ("MAIL", "RCPT", "DATA" or "END"), where
    // the server answers `refusal`, then the QUIT.
    static void refuseAt(ScriptedPeer& peer, const std::string& step, const std::string& refusal) {
        openAndLogIn(peer);
        peer.expectLine("MAIL FROM: <bob@sina.test>\r\n");
        if (step == "MAIL") {
            peer.reply(refusal);
        } else {
            peer.reply("250 OK\r\n").expectLine("RCPT TO: <bob@sina.test>\r\n");
            if (step == "RCPT") {
                peer.reply(refusal);
            } else {
                peer.reply("250 Accepted\r\n").expectLine("DATA\r\n");
                if (step == "DATA")
                    peer.reply(refusal);
                else
                    peer.reply("354 go\r\n").captureUntil("\r\n.\r\n").reply(refusal);
            }
        }
        quit(peer);
    }

    void expectNothingStored() {
        EXPECT_TRUE(taskList().tasks().empty());
        Catalog catalog(kAddress);
        EXPECT_EQ(catalog.exists(kFolder, "报告.bin", "File"), CatalogPresence::Absent);
    }

    CatalogHooks savedHooks_;
    AppHome home_;
    FakeRetryClock clock_;
    TempDir files_{"parvola-sources"};
    std::string path_;
};

TEST_F(UploadRefusal, TheServersOwnWordsAreShownOnce) {
    struct Case {
        const char* step;
        const char* reply;  // as the server sends it
        const char* shown;  // as the user reads it
    };
    const std::string refusedPrefix = "文件:" + path_ + "上传失败,邮件服务器答复:";
    for (const Case& c :
         {Case{"END", "552 5.3.4 Parvola-test: message too big for this mailbox\r\n",
               "552 5.3.4 Parvola-test: message too big for this mailbox"},
          Case{"END", "552 5.2.2 Mailbox over quota\r\n", "552 5.2.2 Mailbox over quota"},
          Case{"MAIL", "421 4.3.2 Service shutting down\r\n", "421 4.3.2 Service shutting down"},
          Case{"RCPT", "452 4.2.2 Mailbox full\r\n", "452 4.2.2 Mailbox full"},
          Case{"DATA", "451 4.3.0 Local error in processing\r\n",
               "451 4.3.0 Local error in processing"},
          Case{"END", "450 4.2.1 Mailbox temporarily unavailable\r\n",
               "450 4.2.1 Mailbox temporarily unavailable"},
          // Several lines read as one; a control byte never reaches the screen.
          Case{"END", "552-5.2.2 Quota of bob\r\n552 5.2.2 exceeded\x1b[2J\r\n",
               "552-5.2.2 Quota of bob 552 5.2.2 exceeded[2J"},
          // A server that echoes what it was given must not show the password.
          Case{"END", "552 5.2.2 over quota (user bob, pass Mb-5e1c-SECRET-k2)\r\n",
               "552 5.2.2 over quota (user bob, pass ****)"}}) {
        SCOPED_TRACE(c.reply);
        ScopedRecordingNoticeBox notices;
        ScriptedPeer peer;
        refuseAt(peer, c.step, c.reply);
        loginAt(peer.start());
        EXPECT_EQ(runUploadWorker(kAddress, path_, kFolder), UploadOutcome::SendFailed);
        EXPECT_EQ(peer.finish(), "");
        EXPECT_EQ(notices.messages(), std::vector<std::string>{refusedPrefix + c.shown});
        expectNothingStored();
        clearLoggedInAccounts();
    }
    // None of them was waited for: they failed at once.
    EXPECT_TRUE(clock_.waits().empty());
}

TEST_F(UploadRefusal, AConnectionThatEndsWithoutAnAnswerIsANetworkFailure) {
    ScopedRecordingNoticeBox notices;
    ScriptedPeer peer;
    openAndLogIn(peer);
    peer.expectLine("MAIL FROM: <bob@sina.test>\r\n").closeConnection();
    loginAt(peer.start());
    EXPECT_EQ(runUploadWorker(kAddress, path_, kFolder), UploadOutcome::SendFailed);
    peer.finish();
    // Named: the server, the step, and what the system says of it.
    const std::vector<std::string> shown = notices.messages();
    ASSERT_EQ(shown.size(), 1u);
    std::string text, details;
    splitNoticeDetails(shown[0], text, details);
    EXPECT_EQ(text, "文件:" + path_ + "网络问题,上传失败.请稍后再试!");
    EXPECT_EQ(details.rfind("SMTP 127.0.0.1:", 0), 0u) << details;
    EXPECT_NE(details.find(", send: "), std::string::npos) << details;
    expectNothingStored();
}

}  // namespace
}  // namespace parvola::test
