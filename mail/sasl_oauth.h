#pragma once
// The two SASL mechanisms that carry an OAuth 2 bearer token, shared by the
// IMAP, POP3 and SMTP clients: OAUTHBEARER (RFC 7628) and the older XOAUTH2
// that some large providers still take alone.
#include <string>
#include <string_view>
#include <vector>

namespace parvola {

enum class OAuthMechanism { None, OAuthBearer, XOAuth2 };

// "OAUTHBEARER" or "XOAUTH2".
const char* oauthMechanismName(OAuthMechanism mechanism);

// The mechanism to use among those a server offers (names in any letter
// case): OAUTHBEARER, the standard one, when offered, else XOAUTH2, else None.
OAuthMechanism chooseOAuthMechanism(const std::vector<std::string>& offered);

// The client's first message, base64-encoded: for OAUTHBEARER the GS2 header
// with the user, then host, port and "auth=Bearer TOKEN"; for XOAUTH2
// "user=USER^Aauth=Bearer TOKEN^A^A".
std::string oauthInitialResponse(OAuthMechanism mechanism, std::string_view user,
                                 std::string_view token, std::string_view host, int port);

// What the client answers when the server, instead of success, sends a
// challenge holding its error document: OAUTHBEARER wants a lone ^A
// ("AQ=="), XOAUTH2 an empty line. The server then ends the exchange with
// its refusal.
std::string_view oauthErrorAcknowledgement(OAuthMechanism mechanism);

// The error document of such a challenge (base64 JSON, e.g.
// {"status":"401","schemes":"bearer"}) decoded for the failure text; empty
// when it does not decode.
std::string oauthChallengeText(std::string_view base64Challenge);

}  // namespace parvola
