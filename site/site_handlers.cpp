#include "site/site_handlers.h"

#include "platform/text_codec.h"
#include "site/form_fields.h"

namespace parvola::site {
namespace {

constexpr const char* kTextType = "text/plain; charset=GB18030";
constexpr const char* kHtmlType = "text/html; charset=GB18030";

SiteReply message(int status, const std::string& text) {
    return {status, kTextType, utf8ToWire(text + "\r\n")};
}

// Decodes the body, or says why it cannot be taken.
bool decodeForm(const std::string& wireBody, std::string& text, SiteReply& refusal) {
    if (wireBody.size() > kMaxFormBytes) {
        refusal = message(413, "form too large: " + std::to_string(wireBody.size()) +
                                   " bytes, at most " + std::to_string(kMaxFormBytes));
        return false;
    }
    if (!convertText(wireBody, "GB18030", "UTF-8", text)) {
        refusal = message(400, "form is not GB18030 text");
        return false;
    }
    return true;
}

}  // namespace

std::string loginReplyText(const SiteUser& user) {
    return user.password + "<br>\r\n" + user.mailbox + "<br>\r\n" + user.mailboxPassword +
           "<br>\r\n<br>\r\n" + (user.catalogFlag != 0 ? "1000\r\n" : "");
}

std::string unknownUserReplyText() {
    return std::string(1, '\0') + "<br>\r\n<br>\r\n<br>\r\n<br>\r\n";
}

SiteReply answerNotification(SiteStore& store, const std::string& wireBody) {
    std::string text;
    SiteReply refusal;
    if (!decodeForm(wireBody, text, refusal))
        return refusal;
    FormFields form;
    std::string error;
    if (!parseNotificationForm(text, form, error))
        return message(400, error);

    const std::string email = form.get("email");
    if (!store.addRecord(form.action, email, text, error))
        return message(500, "database error: " + error);
    if (form.action != "login")
        return message(200, "ok");

    std::optional<SiteUser> user = store.findUser(email, error);
    if (!user && !error.empty())
        return message(500, "database error: " + error);
    return {200, kHtmlType, utf8ToWire(user ? loginReplyText(*user) : unknownUserReplyText())};
}

SiteReply answerWebLogin(SiteStore& store, const std::string& wireBody) {
    std::string text;
    SiteReply refusal;
    if (!decodeForm(wireBody, text, refusal))
        return refusal;
    FormFields form;
    std::string error;
    if (!parseWebLoginForm(text, form, error))
        return message(400, error);
    if (!store.addRecord(form.action, form.get("email"), text, error))
        return message(500, "database error: " + error);
    return message(200, "ok");
}

}  // namespace parvola::site
