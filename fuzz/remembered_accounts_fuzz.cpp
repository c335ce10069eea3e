// The "user" value of the settings file (remembered accounts), read from any
// text. Accounts read back whole when formatted again, as long as no account
// holds the separators ";" or ":".
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/ini_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<parvola::RememberedAccount> accounts = parvola::parseRememberedAccounts(text);
    for (const parvola::RememberedAccount& account : accounts) {
        if (account.account.find_first_of(";:") != std::string::npos)
            return 0;
    }
    const std::string again = parvola::formatRememberedAccounts(accounts);
    if (parvola::parseRememberedAccounts(again) != accounts)
        __builtin_trap();
    return 0;
}
