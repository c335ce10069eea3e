#pragma once
// The real mail server that the test command starts for the integration tests
// (Exim for SMTP, Dovecot for POP3, on loopback).
#include <string>

namespace parvola::test {

struct MailStack {
    static int smtpPort() { return PARVOLA_TEST_SMTP_PORT; }
    static int pop3Port() { return PARVOLA_TEST_POP3_PORT; }
    static std::string dir() { return PARVOLA_MAILSTACK_DIR; }

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
