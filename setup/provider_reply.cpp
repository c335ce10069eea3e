#include "setup/provider_reply.h"

#include <algorithm>
#include <cctype>

namespace parvola {
namespace {

bool holdsIgnoringCase(std::string_view text, std::string_view words) {
    if (words.empty())
        return false;
    return std::search(text.begin(), text.end(), words.begin(), words.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           }) != text.end();
}

bool matchesAny(std::string_view reply, const std::vector<std::string>& texts) {
    return std::any_of(texts.begin(), texts.end(),
                       [&](const std::string& words) { return holdsIgnoringCase(reply, words); });
}

std::string appPasswordText(const std::string& name) {
    return name +
           " does not take the password of its web site from mail programs: create an app "
           "password (some providers call it an authorization code) in the account settings on " +
           name + "'s web site and log in with that instead.";
}

std::string enableAccessText(const std::string& name) {
    return name +
           " has mail-program access (IMAP, POP3, SMTP) switched off for this mailbox: "
           "switch it on in the settings on " +
           name + "'s web site, then log in again.";
}

std::string serverSaid(std::string_view reply) {
    std::string kept(reply.substr(0, 500));
    for (char& c : kept)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return " The server said: \"" + kept + "\"";
}

}  // namespace

RefusalExplanation explainLoginRefusal(const ProviderEntry& provider, std::string_view reply) {
    RefusalExplanation explanation;
    if (matchesAny(reply, provider.enableAccessReplies)) {
        explanation.advice = ProviderAdvice::EnableAccess;
        explanation.text = enableAccessText(provider.name) + serverSaid(reply);
    } else if (matchesAny(reply, provider.appPasswordReplies)) {
        explanation.advice = ProviderAdvice::AppPassword;
        explanation.text = appPasswordText(provider.name) + serverSaid(reply);
    } else if (provider.appPasswordRequired || provider.accessMustBeEnabled) {
        explanation.advice = ProviderAdvice::Notes;
        explanation.text = "The server refused the login.";
        if (provider.appPasswordRequired)
            explanation.text += " " + appPasswordText(provider.name);
        if (provider.accessMustBeEnabled)
            explanation.text += std::string(provider.appPasswordRequired ? " Also make" : " Make") +
                                " sure mail-program access (IMAP, POP3, SMTP) is switched on in "
                                "the settings on " +
                                provider.name + "'s web site.";
        explanation.text += serverSaid(reply);
    }
    return explanation;
}

std::string loginRefusalAdvice(const std::string& address, std::string_view reply) {
    const size_t at = address.rfind('@');
    if (at == std::string::npos)
        return {};
    std::string domain = address.substr(at + 1);
    for (char& c : domain)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const ProviderEntry* provider = installedProviderTable().find(domain);
    if (!provider)
        return {};
    return explainLoginRefusal(*provider, reply).text;
}

}  // namespace parvola
