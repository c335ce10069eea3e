#pragma once
// The web service client: form posts whose replies are plain text. Form data
// and replies are UTF-8 here and GB18030 on the wire; values go in raw, with
// no URL encoding, exactly as the service expects them.
#include <string>

namespace parvola {

// Result codes of the site calls.
constexpr int kSiteOk = 0;
constexpr int kSiteBadReply = -1;
constexpr int kSitePostFailed = 65535;

// The page that takes the login notification and every catalog notification.
std::string notificationPageUrl();
// The page of the web login ("共享").
std::string siteLoginPageUrl();

// Posts `formData` to `url`. True when the server answered 200 to 299 and the
// reply was read (its lines joined without line ends). `status` is set in
// every case to one of the fixed status texts.
bool SitePost(const std::string& url, const std::string& formData, std::string& reply,
              std::string& status);

// Posts the login notification for `address` and parses the reply: kSiteOk with
// the four values filled, kSiteBadReply, or kSitePostFailed.
int SiteLogin(const std::string& address, std::string& passwordOnRecord,
              std::string& mailboxAddress, std::string& mailboxPassword, int& catalogFlag);

// Posts `formData` to the notification page, ignoring the reply: kSiteOk or kSitePostFailed.
int SiteNotify(const std::string& formData);

}  // namespace parvola
