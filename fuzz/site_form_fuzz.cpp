// parvola-site's form splitters on any request body.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "site/form_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    for (int form = 0; form < 2; ++form) {
        parvola::site::FormFields fields;
        std::string error;
        const bool parsed = form == 0 ? parvola::site::parseNotificationForm(body, fields, error)
                                      : parvola::site::parseWebLoginForm(body, fields, error);
        if (!parsed && error.empty())
            __builtin_trap();  // a refused form always says why
        size_t total = 0;
        for (const auto& [key, value] : fields.values) {
            fields.get(key);
            total += value.size();
        }
        if (parsed && total > body.size())
            __builtin_trap();  // values are cut from the body, never invented
    }
    return 0;
}
