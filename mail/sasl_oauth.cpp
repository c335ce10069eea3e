#include "mail/sasl_oauth.h"

#include <strings.h>

#include "mail/base64.h"

namespace parvola {

const char* oauthMechanismName(OAuthMechanism mechanism) {
    switch (mechanism) {
        case OAuthMechanism::OAuthBearer:
            return "OAUTHBEARER";
        case OAuthMechanism::XOAuth2:
            return "XOAUTH2";
        case OAuthMechanism::None:
            break;
    }
    return "";
}

OAuthMechanism chooseOAuthMechanism(const std::vector<std::string>& offered) {
    bool xoauth2 = false;
    for (const std::string& name : offered) {
        if (strcasecmp(name.c_str(), "OAUTHBEARER") == 0)
            return OAuthMechanism::OAuthBearer;
        xoauth2 = xoauth2 || strcasecmp(name.c_str(), "XOAUTH2") == 0;
    }
    return xoauth2 ? OAuthMechanism::XOAuth2 : OAuthMechanism::None;
}

// The ^A separator as a literal of its own: written inline before a letter
// of a-f ("\x01auth") it would read as one other character.
constexpr const char* kSep = "\x01";

std::string oauthInitialResponse(OAuthMechanism mechanism, std::string_view user,
                                 std::string_view token, std::string_view host, int port) {
    std::string message;
    if (mechanism == OAuthMechanism::OAuthBearer) {
        // In the GS2 header "," and "=" of the user name are escaped (RFC 5801).
        std::string escaped;
        for (char c : user) {
            if (c == ',')
                escaped += "=2C";
            else if (c == '=')
                escaped += "=3D";
            else
                escaped += c;
        }
        message = "n,a=" + escaped + "," + kSep + "host=" + std::string(host) + kSep +
                  "port=" + std::to_string(port) + kSep + "auth=Bearer " + std::string(token) +
                  kSep + kSep;
    } else {
        message =
            "user=" + std::string(user) + kSep + "auth=Bearer " + std::string(token) + kSep + kSep;
    }
    return base64Encode(message);
}

std::string_view oauthErrorAcknowledgement(OAuthMechanism mechanism) {
    return mechanism == OAuthMechanism::OAuthBearer ? "AQ==" : "";
}

std::string oauthChallengeText(std::string_view base64Challenge) {
    std::string text;
    if (!base64Decode(base64Challenge, text))
        return {};
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return text;
}

}  // namespace parvola
