#pragma once
// The real mail server that the test command starts for the integration tests
// (Exim for SMTP, Dovecot for POP3 and IMAP, on loopback).
#include <string>

namespace parvola::test {

struct MailStack {
    static int smtpPort() { return PARVOLA_TEST_SMTP_PORT; }
    static int pop3Port() { return PARVOLA_TEST_POP3_PORT; }
    static int imapPort() { return PARVOLA_TEST_IMAP_PORT; }
    static std::string dir() { return PARVOLA_MAILSTACK_DIR; }

    // The TLS listeners beside the plaintext ones: SMTP with TLS from the
    // first byte, SMTP offering STARTTLS, POP3 and IMAP with TLS from the
    // first byte; the plaintext POP3 port offers STLS, the IMAP port STARTTLS. The server's
    // certificate is signed by caFile() (trusted by no system store) and names mail.sina.test and
    // the loopback addresses 127.0.0.1 to 127.0.0.8, no other host name.
    static int smtpsPort() { return PARVOLA_TEST_SMTP_PORT + 1; }
    static int smtpStartTlsPort() { return PARVOLA_TEST_SMTP_PORT + 2; }
    static int pop3sPort() { return PARVOLA_TEST_POP3_PORT + 1; }
    static int pop3StartTlsPort() { return PARVOLA_TEST_POP3_PORT; }
    static int imapsPort() { return PARVOLA_TEST_IMAP_PORT + 1; }
    static int imapStartTlsPort() { return PARVOLA_TEST_IMAP_PORT; }
    static std::string caFile() { return dir() + "/tls/ca.pem"; }

    // True when both daemons answer.
    static bool running();
    // A user name no other test of this run uses: prefix + pid + counter.
    static std::string uniqueUser(const std::string& prefix);
    // Adds (or re-passwords) a mailbox user; the mailbox address is
    // user@<any of the test domains>, e.g. user@sina.test. False on failure.
    static bool addUser(const std::string& user, const std::string& password);
    // Folder holding the user's delivered messages (Maildir/new and cur).
    static std::string maildir(const std::string& user);
};

}  // namespace parvola::test
