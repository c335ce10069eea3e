#include "web/site_client.h"

#include "platform/deploy_config.h"
#include "platform/host_info.h"
#include "web/login_reply.h"
#include "web/site_forms.h"

namespace parvola {
namespace {

// The base address may be written with or without a closing "/".
std::string pageUrl(std::string base, const char* path) {
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base + path;
}

std::string sitePage(const char* path) {
    return pageUrl(loadDeployConfig().siteBase, path);
}

}  // namespace

std::string notificationPageUrl() {
    return sitePage("/qk7rta$19bw4xn8p6.php");
}
std::string siteLoginPageUrl() {
    return sitePage("/login.php");
}
std::string informationPageUrl() {
    return sitePage("/softinfo.html");
}
std::string advertPageUrl() {
    return sitePage("/softad.html");
}
std::string registerPageUrl() {
    return sitePage("/register.php");
}
std::string groupLoginPageUrl() {
    return pageUrl(loadDeployConfig().groupBase, "/group_login.php");
}

int SiteLogin(const std::string& address, std::string& passwordOnRecord,
              std::string& mailboxAddress, std::string& mailboxPassword, int& catalogFlag) {
    std::string reply;
    std::string status;
    if (!SitePost(notificationPageUrl(), loginForm(address, localIPv4Address()), reply, status))
        return kSitePostFailed;
    SiteLoginReply parsed;
    if (parseSiteLoginReply(reply, parsed) != kSiteOk)
        return kSiteBadReply;
    passwordOnRecord = std::move(parsed.passwordOnRecord);
    mailboxAddress = std::move(parsed.mailboxAddress);
    mailboxPassword = std::move(parsed.mailboxPassword);
    catalogFlag = parsed.catalogFlag;
    return kSiteOk;
}

int SiteNotify(const std::string& formData) {
    std::string reply;
    std::string status;
    return SitePost(notificationPageUrl(), formData, reply, status) ? kSiteOk : kSitePostFailed;
}

int SiteWebLogin(const std::string& formData) {
    std::string reply;
    std::string status;
    return SitePost(siteLoginPageUrl(), formData, reply, status) ? kSiteOk : kSitePostFailed;
}

}  // namespace parvola
