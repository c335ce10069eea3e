#include "mail/secret_mask.h"

#include "mail/base64.h"

namespace parvola {
namespace {

void replaceAll(std::string& text, const std::string& what) {
    if (what.empty())
        return;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 4))
        text.replace(at, what.size(), "****");
}

}  // namespace

void maskSecret(std::string& text, const std::string& secret) {
    if (secret.empty())
        return;
    replaceAll(text, base64Encode(secret));
    replaceAll(text, secret);
}

}  // namespace parvola
