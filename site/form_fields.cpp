#include "site/form_fields.h"

#include <cctype>

namespace parvola::site {
namespace {

enum class Take { First, Last };

// A value and the separator that ends it; the last value runs to the end.
struct Step {
    const char* key;
    const char* separator;  // null for the last value
    Take take;
};

struct Layout {
    const char* action;
    const char* prefix;
    std::vector<Step> steps;
};

const std::vector<Layout>& notificationLayouts() {
    static const std::vector<Layout> layouts = {
        {"login",
         "action=login&email=",
         {{"email", "&ip=", Take::Last}, {"ip", nullptr, Take::Last}}},
        {"xml",
         "action=xml&email=",
         {{"email", "&xml=", Take::Last},
          {"xml", "&share=", Take::Last},
          {"share", nullptr, Take::Last}}},
        {"delete",
         "action=delete&email=",
         {{"email", "&filename=", Take::First},
          {"filename", "&time=", Take::Last},
          {"time", nullptr, Take::Last}}},
        {"share",
         "action=share&email=",
         {{"email", "&share=", Take::Last}, {"share", nullptr, Take::Last}}},
    };
    return layouts;
}

bool splitByLayout(std::string_view text, const Layout& layout, FormFields& out,
                   std::string& error) {
    std::string_view prefix(layout.prefix);
    if (text.substr(0, prefix.size()) != prefix) {
        error = std::string("missing field: ") + layout.steps.front().key;
        return false;
    }
    out.action = layout.action;
    out.values.clear();
    size_t start = prefix.size();
    for (const Step& step : layout.steps) {
        if (!step.separator) {
            out.values.emplace_back(step.key, std::string(text.substr(start)));
            break;
        }
        std::string_view separator(step.separator);
        size_t at = step.take == Take::First ? text.find(separator, start) : text.rfind(separator);
        if (at == std::string_view::npos || at < start) {
            // The separator names the next field.
            error = std::string("missing field: ") +
                    std::string(separator.substr(1, separator.size() - 2));
            return false;
        }
        out.values.emplace_back(step.key, std::string(text.substr(start, at - start)));
        start = at + separator.size();
    }
    return true;
}

bool isInteger(std::string_view text) {
    if (!text.empty() && text.front() == '-')
        text.remove_prefix(1);
    if (text.empty() || text.size() > 10)
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// Digits, one ".", digits: what "%.4f" writes for a size.
bool isDecimal(std::string_view text) {
    size_t dot = text.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == text.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (i != dot && !std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

// "%y-%m-%d %H:%M:%S": 17 characters, digits in pairs.
bool isShortTime(std::string_view text) {
    static constexpr std::string_view pattern = "99-99-99 99:99:99";
    if (text.size() != pattern.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
        if (pattern[i] == '9' ? !digit : text[i] != pattern[i])
            return false;
    }
    return true;
}

bool checkValues(const FormFields& form, std::string& error) {
    if (form.action != "login" && form.get("email").empty()) {
        error = "empty field: email";
        return false;
    }
    if (form.action == "xml") {
        if (!isInteger(form.get("xml"))) {
            error = "field xml is not a whole number";
            return false;
        }
        if (!isDecimal(form.get("share"))) {
            error = "field share is not a decimal number";
            return false;
        }
    }
    if (form.action == "delete") {
        if (form.get("filename").empty()) {
            error = "empty field: filename";
            return false;
        }
        if (!isShortTime(form.get("time"))) {
            error = "field time is not yy-mm-dd hh:mm:ss";
            return false;
        }
    }
    return true;
}

}  // namespace

std::string FormFields::get(std::string_view key) const {
    for (const auto& [name, value] : values)
        if (name == key)
            return value;
    return {};
}

bool parseNotificationForm(std::string_view text, FormFields& out, std::string& error) {
    constexpr std::string_view kActionKey = "action=";
    if (text.substr(0, kActionKey.size()) != kActionKey) {
        error = "missing field: action";
        return false;
    }
    std::string_view action = text.substr(kActionKey.size());
    action = action.substr(0, action.find('&'));
    for (const Layout& layout : notificationLayouts()) {
        if (action != layout.action)
            continue;
        return splitByLayout(text, layout, out, error) && checkValues(out, error);
    }
    error = "unknown action: " + std::string(action.substr(0, 64));
    return false;
}

bool parseWebLoginForm(std::string_view text, FormFields& out, std::string& error) {
    out.action = "weblogin";
    out.values.clear();
    if (text.empty()) {
        out.values = {{"email", ""}, {"password", ""}};
        return true;
    }
    // A mailbox address never holds "&password=", a password might: the
    // address ends at the first one.
    static const Layout layout = {
        "weblogin",
        "email=",
        {{"email", "&password=", Take::First}, {"password", nullptr, Take::Last}}};
    return splitByLayout(text, layout, out, error);
}

}  // namespace parvola::site
