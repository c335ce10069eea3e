#pragma once
// Splits the client's form bodies into their values.
//
// The client sends every value raw: no %XX encoding, so a file name may hold
// "&" and "=" of its own. A generic key=value split would cut such a name
// apart; instead each form is read by its known key order. The value before
// a separator that can also occur inside the value ends at the last
// occurrence (the file name of the delete form runs from "&filename=" to the
// last "&time=", since the time after it never holds one).
//
// Values are taken as they are: no %XX or "+" decoding, because the client
// never encodes, and a literal "%41" in a file name must arrive as written.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace parvola::site {

struct FormFields {
    std::string action;  // "login", "xml", "delete", "share"; "weblogin" for the login page
    std::vector<std::pair<std::string, std::string>> values;  // in form order, action excluded

    // The value of `key`; empty when absent.
    std::string get(std::string_view key) const;
};

// Parses a form of the notification page. False with a one-line `error`
// (unknown action, missing or malformed field) when it is not one of the four.
bool parseNotificationForm(std::string_view text, FormFields& out, std::string& error);

// Parses the web login form "email=...&password=...". The empty form is the
// one the client sends when it has no current account: it parses, with
// empty values.
bool parseWebLoginForm(std::string_view text, FormFields& out, std::string& error);

}  // namespace parvola::site
