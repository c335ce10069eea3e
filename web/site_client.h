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

// Status texts of SitePost.
inline constexpr const char* kPostSucceededText = "提交成功完成！";
inline constexpr const char* kBadUrlSuffix = "不是有效有网络地址！";
inline constexpr const char* kConnectFailedText = "对不起，连接服务器失败！";
inline constexpr const char* kRequestFailedPrefix = "找不到网络地址";
inline constexpr const char* kServerErrorPrefix = "网站服务器错误";
inline constexpr const char* kPostErrorFormat = "向服务器post失败！错误号：%d";

// Pages of the service, built from the deployment's base addresses.
// The page that takes the login notification and every catalog notification.
std::string notificationPageUrl();
// The page of the web login ("共享").
std::string siteLoginPageUrl();
// Pages shown in the client's browser panes or opened in the desktop browser.
std::string informationPageUrl();
std::string advertPageUrl();
std::string registerPageUrl();
std::string groupLoginPageUrl();

// Posts `formData` to `url`. True when the server answered 200 to 299 and the
// reply was read (its lines joined without line ends). `status` is set in
// every case to one of the fixed status texts.
bool SitePost(const std::string& url, const std::string& formData, std::string& reply,
              std::string& status);

// Posts the login notification for `address` and parses the reply: kSiteOk with
// the four values filled, kSiteBadReply, or kSitePostFailed. The outputs are
// only written on kSiteOk.
int SiteLogin(const std::string& address, std::string& passwordOnRecord,
              std::string& mailboxAddress, std::string& mailboxPassword, int& catalogFlag);

// Posts `formData` to the notification page, ignoring the reply: kSiteOk or kSitePostFailed.
int SiteNotify(const std::string& formData);

// Posts the web login form (see webLoginForm) to the site login page, ignoring
// the reply: kSiteOk or kSitePostFailed. Callers of the "共享" command ignore
// the result; it is returned for those who want to know.
int SiteWebLogin(const std::string& formData);

}  // namespace parvola
