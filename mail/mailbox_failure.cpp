#include "mail/mailbox_failure.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <string>

#include "mail/plaintext_guard.h"
#include "platform/tcp_socket.h"

namespace parvola {
namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool mentions(const std::string& text, std::initializer_list<const char*> words) {
    for (const char* word : words)
        if (text.find(word) != std::string::npos)
            return true;
    return false;
}

// Providers say "spam" in many ways; these are the ones their refusals use.
bool soundsLikeSpam(const std::string& text) {
    return mentions(
        text, {"spam", "junk", "5.7.1 message rejected", "content rejected", "blocked for policy"});
}

// A sending rate or a count for the hour or the day, not the mailbox's size.
bool soundsLikeLimit(const std::string& text) {
    return mentions(text,
                    {"limit", "rate", "too many", "daily", "quota exceeded for", "sending quota",
                     "try again later", "throttl", "5.4.5", "4.7.0", "4.4.5"});
}

bool soundsLikeFullMailbox(const std::string& text) {
    return mentions(text, {"mailbox full", "mailbox is full", "over quota", "overquota", "4.2.2",
                           "5.2.2", "insufficient storage"});
}

}  // namespace

MailboxFailure classifySmtpReply(int code, std::string_view reply) {
    const std::string text = lowered(reply);
    if (code >= 400 && code < 500) {
        // 452 4.2.2 is the mailbox full: no pause makes room.
        if (soundsLikeFullMailbox(text))
            return MailboxFailure::Permanent;
        if (soundsLikeLimit(text))
            return MailboxFailure::Limit;
        return MailboxFailure::Transient;
    }
    if (code >= 500 && code < 600) {
        if (soundsLikeSpam(text))
            return MailboxFailure::Spam;
        // "550 5.4.5 Daily sending quota exceeded" and the like: the day's
        // count, not this mail, is the problem.
        if (!soundsLikeFullMailbox(text) && mentions(text, {"5.4.5", "daily", "per day"}))
            return MailboxFailure::Limit;
        return MailboxFailure::Permanent;
    }
    return MailboxFailure::Permanent;
}

MailboxFailure classifyMailboxAnswer(std::string_view reply) {
    const std::string text = lowered(reply);
    if (mentions(text, {"[in-use]", "[sys/temp]", "[login-delay]", "[unavailable]"}))
        return MailboxFailure::Transient;
    if (mentions(text, {"[limit]"}))
        return MailboxFailure::Limit;
    return MailboxFailure::Permanent;
}

MailboxFailure classifyConnectionError(int socketError, std::string_view reason) {
    // The guard kept the password back: the server offers no TLS, and will
    // not on the next try either.
    if (!plaintextRefusalIn(std::string(reason)).empty())
        return MailboxFailure::Permanent;
    if (socketError == kErrorSecureChannel) {
        // A refused certificate or a server without TLS stays so; a
        // handshake that broke off is the network's doing.
        const std::string text = lowered(reason);
        return mentions(text, {"certificate", "offer", "not support", "host name", "address"})
                   ? MailboxFailure::Permanent
                   : MailboxFailure::Transient;
    }
    // No such host, or a value refused before anything was sent.
    if (socketError == kErrorInvalidArgument)
        return MailboxFailure::Permanent;
    // Refused, reset, closed, timed out, or an end without a word.
    return MailboxFailure::Transient;
}

bool meansNoFurtherSession(std::string_view reply) {
    return mentions(lowered(reply), {"[in-use]", "locked", "lock maildrop", "simultaneous",
                                     "too many connections", "too many sessions",
                                     "connection limit"});
}

}  // namespace parvola
