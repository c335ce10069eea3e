// The web service's login reply, parsed from any text; a failed parse leaves
// the result as it was.
#include <cstddef>
#include <cstdint>
#include <string>

#include "web/login_reply.h"
#include "web/site_client.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    parvola::SiteLoginReply out;
    out.passwordOnRecord = "untouched";
    out.catalogFlag = 5;
    const int result = parvola::parseSiteLoginReply(reply, out);
    if (result != parvola::kSiteOk) {
        if (result != parvola::kSiteBadReply || out.passwordOnRecord != "untouched" ||
            out.catalogFlag != 5) {
            __builtin_trap();
        }
    } else if (out.catalogFlag != 0 && out.catalogFlag != 1000) {
        __builtin_trap();
    }
    return 0;
}
