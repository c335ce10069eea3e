// The account takes the TLS mode of its provider's row, and the CA file,
// from deploy.ini when it chooses its servers.
#include <gtest/gtest.h>

#include "mail/mailbox_account.h"
#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

TEST(ProviderTls, AccountTakesItsRowsModesAndTheCaFile) {
    test::AppHome home;
    test::writeFile(home.path() / "deploy.ini",
                    "[tls]\nca_file=/srv/ca.pem\n[sohu]\nsmtp_tls=implicit\npop3_tls=stls\n");
    MailboxAccount sohu;
    sohu.SelectProvider("bob@mail.sohu.com");
    EXPECT_EQ(sohu.smtpTls.mode, TlsMode::Implicit);
    EXPECT_EQ(sohu.pop3Tls.mode, TlsMode::StartTls);
    EXPECT_EQ(sohu.smtpTls.caFile, "/srv/ca.pem");
    EXPECT_EQ(sohu.pop3Tls.caFile, "/srv/ca.pem");

    MailboxAccount sina;  // a row that asks for nothing stays plaintext
    sina.SelectProvider("bob@sina.com");
    EXPECT_EQ(sina.smtpTls.mode, TlsMode::None);
    EXPECT_EQ(sina.pop3Tls.mode, TlsMode::None);

    MailboxAccount elsewhere;  // no row: nothing is chosen, nothing changes
    elsewhere.SelectProvider("bob@example.org");
    EXPECT_EQ(elsewhere.smtpHost, "");
    EXPECT_EQ(elsewhere.smtpTls.mode, TlsMode::None);
}

}  // namespace
}  // namespace parvola
