#pragma once
// Recognises a provider's answer to a refused login that asks the user to
// act (use an app password or authorization code instead of the web
// password; switch IMAP/POP3/SMTP access on in the web settings) and says
// so in Parvola's words, keeping the provider's own.
#include <string>
#include <string_view>

#include "setup/provider_data.h"

namespace parvola {

enum class ProviderAdvice {
    None,          // nothing known about this provider's refusals
    AppPassword,   // the reply says an app password or authorization code is needed
    EnableAccess,  // the reply says access is switched off in the web settings
    Notes,         // the reply is not one we know, but the provider is known to need either
};

struct RefusalExplanation {
    ProviderAdvice advice = ProviderAdvice::None;
    std::string text;  // empty for None
};

// `reply` is the server's answer to the login, as the mail client kept it.
RefusalExplanation explainLoginRefusal(const ProviderEntry& provider, std::string_view reply);

// The explanation for a refused login of `address` when its domain is in the
// installed provider table and its refusals are known; empty otherwise.
std::string loginRefusalAdvice(const std::string& address, std::string_view reply);

}  // namespace parvola
