#pragma once
// What the stand-in web service answers to each form, apart from HTTP.
//
// Forms arrive in GB18030 and are stored as UTF-8. Every bad input gets a
// one-line answer with a 4xx status and never stops the service.
#include <cstddef>
#include <string>

#include "site/site_store.h"

namespace parvola::site {

// Forms are a few hundred bytes; a longer body is refused. The HTTP layer
// refuses form-encoded bodies above the same size before they reach here.
constexpr size_t kMaxFormBytes = 8192;

struct SiteReply {
    int status = 200;
    std::string contentType;
    std::string body;  // bytes as sent
};

// The notification page: "action=login" answers the login reply; "action=xml",
// "action=delete" and "action=share" are stored.
SiteReply answerNotification(SiteStore& store, const std::string& wireBody);

// The site login page: the web login form is stored.
SiteReply answerWebLogin(SiteStore& store, const std::string& wireBody);

// The login reply for a user: three texts each ended by "<br>", a fourth
// "<br>", and "1000" after it when the catalog lives in the mailbox. UTF-8.
std::string loginReplyText(const SiteUser& user);

// The login reply for an address with no user. Its password on record is a
// single NUL byte, which no password typed into an edit box or given on a
// command line can hold, so the client's byte comparison reports a wrong
// password for every typed one, the empty password included.
std::string unknownUserReplyText();

}  // namespace parvola::site
