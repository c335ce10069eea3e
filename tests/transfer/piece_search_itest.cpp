// Finding and removing piece mails by their parsed subjects in a real mailbox:
// fields compared exactly, catalog mails never taken for pieces, the newest
// of several matches wins.
#include "mail/pop3_smtp_mailbox.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/piece_search.h"
#include "transfer/store_mail.h"

namespace parvola::test {
namespace {

class PieceSearch : public PipelineTest {
  protected:
    void SetUp() override {
        PipelineTest::SetUp();
        account = login("sina");
        // Messages 1 to 7, oldest first.
        for (const char* subject : {
                 "PARVOL:;a.txt;5;100;10;0000000000;3;1",
                 "PARVOLCONFIG:;a.txt;5;100;10;0000000000;3;2",
                 "PARVOL:;a.txt;6;100;10;0000000000;3;2",
                 "PARVOL:;a.txt;5;200;10;0000000000;3;2",
                 "PARVOL:;a.txt;5;300;99;0000000000;3;2",
                 "PARVOL:;A.txt;5;300;10;0000000000;3;3",
                 "Re: PARVOL:;a.txt;5;300;10;0000000000;3;3",
             }) {
            StoreMail mail;
            mail.subject = mail.bodyText = subject;
            ASSERT_EQ(SendStoreMail(account, mail), 0);
        }
    }

    int find(const std::string& subject) {
        Pop3SmtpMailbox mailbox(account);
        EXPECT_TRUE(mailbox.open());
        const int number = FindPieceMessage(mailbox, subject);
        mailbox.close();
        return number;
    }

    MailboxAccount account;
};

TEST_F(PieceSearch, ComparesTagNameIdAndIndexAndTakesTheNewestMatch) {
    // Time and length differ from the stored pieces: they are not compared.
    EXPECT_EQ(find("PARVOL:;a.txt;5;999;1;0000000000;3;1"), 1);
    // Messages 4 and 5 match; the newer wins. The catalog mail (2) and the
    // other file id (3) never match.
    EXPECT_EQ(find("PARVOL:;a.txt;5;1;10;0000000000;3;2"), 5);
    EXPECT_EQ(find("PARVOL:;a.txt;6;1;10;0000000000;3;2"), 3);
    // Names compare case-sensitively; a prefix before the tag is no tag.
    EXPECT_EQ(find("PARVOL:;a.txt;5;1;10;0000000000;3;3"), -1);
    EXPECT_EQ(find("PARVOL:;A.txt;5;1;10;0000000000;3;3"), 6);
    EXPECT_EQ(find("PARVOL:;b.txt;5;1;10;0000000000;3;1"), -1);
}

TEST_F(PieceSearch, RemovalDeletesEveryPieceOfThatFileOnly) {
    EXPECT_EQ(RemovePieceMails(account, "PARVOL:;a.txt;5;1;10;0000000000;3;1"), 3);
    EXPECT_EQ(
        mailboxSubjects(account),
        (std::vector<std::string>{
            "PARVOLCONFIG:;a.txt;5;100;10;0000000000;3;2", "PARVOL:;a.txt;6;100;10;0000000000;3;2",
            "PARVOL:;A.txt;5;300;10;0000000000;3;3", "Re: PARVOL:;a.txt;5;300;10;0000000000;3;3"}));
    // Nothing left of that file: nothing to delete, and no failure either.
    EXPECT_EQ(RemovePieceMails(account, "PARVOL:;a.txt;5;1;10;0000000000;3;1"), 0);
    MailboxAccount wrong = account;
    wrong.mailboxPassword = "not-it";
    EXPECT_EQ(RemovePieceMails(wrong, "PARVOL:;a.txt;6;1;10;0000000000;3;1"), -1);
    EXPECT_EQ(mailboxSubjects(account).size(), 4u);
}

}  // namespace
}  // namespace parvola::test
