#pragma once
// The reply of the login notification: four values, each ended by a markup
// tag containing the letter "r" (the service writes "<br>"):
//
//   password on record <br> mailbox address <br> mailbox password <br> ... <br> [flag text]
//
// The first three values are texts; after the fourth tag, any text at all
// means the catalog lives in the mailbox (flag 1000), none means a new store
// (flag 0).
#include <string>

namespace parvola {

struct SiteLoginReply {
    std::string passwordOnRecord;
    std::string mailboxAddress;
    std::string mailboxPassword;
    int catalogFlag = 0;
};

// kSiteOk (0) and `out` filled when `reply` has the shape above, kSiteBadReply
// (-1) otherwise; `out` is left alone on failure.
int parseSiteLoginReply(const std::string& reply, SiteLoginReply& out);

}  // namespace parvola
