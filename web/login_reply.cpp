#include "web/login_reply.h"

#include <string_view>

#include "web/site_client.h"

namespace parvola {
namespace {

// Takes the text up to the next tag and steps past the tag. A value counts
// only when its tag is closed and is a line break ("r" in it, "<br>" or
// "<BR>"): a reply cut short or without tags must not pass as a login with
// empty values.
bool takeTaggedValue(std::string_view& rest, std::string_view& value) {
    size_t open = rest.find('<');
    if (open == std::string_view::npos)
        return false;
    size_t close = rest.find('>', open + 1);
    if (close == std::string_view::npos)
        return false;
    std::string_view tag = rest.substr(open + 1, close - open - 1);
    if (tag.find_first_of("rR") == std::string_view::npos)
        return false;
    value = rest.substr(0, open);
    rest.remove_prefix(close + 1);
    return true;
}

}  // namespace

int parseSiteLoginReply(const std::string& reply, SiteLoginReply& out) {
    std::string_view rest(reply);
    std::string_view values[4];
    for (auto& value : values) {
        if (!takeTaggedValue(rest, value))
            return kSiteBadReply;
    }
    out.passwordOnRecord.assign(values[0]);
    out.mailboxAddress.assign(values[1]);
    out.mailboxPassword.assign(values[2]);
    // The fourth value only marks the shape; what follows its tag decides.
    out.catalogFlag = rest.empty() ? 0 : 1000;
    return kSiteOk;
}

}  // namespace parvola
