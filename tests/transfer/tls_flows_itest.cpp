// The mail flows above the transports take the account's TLS settings: with
// an account whose servers speak TLS only (the test server's SMTPS and POP3S
// ports), a piece is stored, found, fetched and removed, and the catalog
// trim runs; a plaintext client would fail on those ports at the first step.
#include <gtest/gtest.h>

#include "mail/mailbox_account.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"
#include "transfer/catalog_sync.h"
#include "transfer/piece_search.h"
#include "transfer/store_mail.h"

namespace parvola {
namespace {

TEST(TlsFlows, PieceStoredFetchedRemovedAndCatalogTrimmedOverTlsOnly) {
    using test::MailStack;
    const std::string user = MailStack::uniqueUser("tlsflow");
    ASSERT_TRUE(MailStack::addUser(user, "pw"));
    test::AppHome home;

    MailboxAccount account;
    account.loginAddress = user + "@sina.test";
    account.mailboxAddress = account.loginAddress;
    account.mailboxUser = user;
    account.mailboxPassword = "pw";
    account.smtpHost = account.pop3Host = "127.0.0.1";
    account.smtpPort = MailStack::smtpsPort();
    account.pop3Port = MailStack::pop3sPort();
    account.smtpTls = {TlsMode::Implicit, MailStack::caFile()};
    account.pop3Tls = {TlsMode::Implicit, MailStack::caFile()};

    test::TempDir dir;
    const std::string bytes = test::randomBytes(64 * 1024 + 1, 11);
    test::writeFile(dir / "2", bytes);
    const std::string subject = "PARVOL:;notes.txt;5;1256450000;65537;0000000000;1;2";
    StoreMail mail;
    mail.subject = mail.bodyText = subject;
    mail.attachmentPath = (dir / "2").string();
    ASSERT_EQ(SendStoreMail(account, mail), 0);

    test::TempDir out;
    EXPECT_EQ(FetchPiece(account, subject, out.str(), -1, nullptr), 0);
    EXPECT_TRUE(test::readFile(out / "2") == bytes);
    EXPECT_EQ(RemovePieceMails(account, subject), 1);
    EXPECT_EQ(SyncCatalog(account.loginAddress, account, SyncMode::Trim), kSyncNoCatalog);
    // The piece is gone: fetching it again finds nothing.
    test::TempDir again;
    EXPECT_NE(FetchPiece(account, subject, again.str(), -1, nullptr), 0);
}

}  // namespace
}  // namespace parvola
