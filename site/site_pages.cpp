#include "site/site_pages.h"

namespace parvola::site {
namespace {

std::string page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head>\n<body>\n" + body + "\n</body></html>\n";
}

}  // namespace

std::string informationPage() {
    return page("Parvola",
                "<p><b>Parvola 网络存储</b>：把邮箱变成您的文件柜。</p>\n"
                "<p>文件分块存入邮箱，随时随地取回。</p>");
}

std::string advertPage() {
    return page("Parvola 公告",
                "<h3>公告</h3>\n<p>欢迎使用 Parvola。这是本地测试服务，没有广告。</p>");
}

std::string registerPage() {
    return page("Parvola 注册",
                "<h3>注册</h3>\n<p>本地测试服务不开放注册。用户由管理员添加：</p>\n"
                "<pre>parvola-site add-user --db FILE ADDRESS PASSWORD MAILBOX MAILBOX_PASSWORD"
                " [--catalog]</pre>");
}

std::string groupLoginPage() {
    return page("Parvola 共享", "<h3>共享</h3>\n<p>请在客户端点击“共享”按钮登录共享空间。</p>");
}

std::string siteLoginPage() {
    return page("Parvola 登录", "<h3>登录</h3>\n<p>共享空间的登录由客户端提交。</p>");
}

}  // namespace parvola::site
