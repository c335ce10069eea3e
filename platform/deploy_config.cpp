#include "platform/deploy_config.h"

#include "platform/app_dir.h"
#include "platform/host_info.h"
#include "platform/ini_file.h"

namespace parvola {
namespace {

struct BuiltIn {
    const char* lower;
    const char* upper;
    const char* smtp;
    const char* pop3;
};

// The providers' own servers; a deployment may point any row elsewhere.
constexpr BuiltIn kBuiltIn[7] = {
    {"sina", "SINA", "smtp.sina.com.cn", "pop3.sina.com.cn"},
    {"sohu", "SOHU", "smtp.sohu.com", "pop3.sohu.com"},
    {"tom", "TOM", "smtp.tom.com", "pop.tom.com"},
    {"21cn", "21CN", "smtp.21cn.com", "pop.21cn.com"},
    {"sogou", "SOGOU", "smtp.sogou.com", "pop3.sogou.com"},
    {"qq", "QQ", "smtp.qq.com", "pop.qq.com"},
    {"foxmail", "FOXMAIL", "smtp.foxmail.com", "pop.foxmail.com"},
};

// A mode that cannot be read must not quietly fall back to plaintext: a
// deployment that wrote "smtp_tls=yes" asked for TLS.
TlsMode readTlsMode(const char* section, const char* key, const std::string& path) {
    const std::string text = readProfileString(section, key, "", path);
    TlsMode mode = TlsMode::Implicit;
    parseTlsMode(text, mode);
    return mode;
}

constexpr const char* kDefaultSite = "http://127.0.0.1:8421";

}  // namespace

DeployConfig loadDeployConfig() {
    const std::string path = appPath("deploy.ini");
    DeployConfig config;
    config.defaultSmtpPort = readProfileInt("ports", "smtp", servicePort("smtp", 25), path);
    config.defaultPop3Port = readProfileInt("ports", "pop3", 110, path);
    config.siteBase = readProfileString("site", "base", kDefaultSite, path);
    config.groupBase = readProfileString("site", "group", config.siteBase, path);
    config.caFile = readProfileString("tls", "ca_file", "", path);
    config.autoconfigBase = readProfileString("setup", "autoconfig_base", "", path);
    while (!config.autoconfigBase.empty() && config.autoconfigBase.back() == '/')
        config.autoconfigBase.pop_back();
    while (!config.siteBase.empty() && config.siteBase.back() == '/')
        config.siteBase.pop_back();
    while (!config.groupBase.empty() && config.groupBase.back() == '/')
        config.groupBase.pop_back();
    for (size_t i = 0; i < config.providers.size(); ++i) {
        const BuiltIn& b = kBuiltIn[i];
        ProviderRow& row = config.providers[i];
        row.lowerKeyword = b.lower;
        row.upperKeyword = b.upper;
        row.smtpHost = readProfileString(b.lower, "smtp", b.smtp, path);
        row.pop3Host = readProfileString(b.lower, "pop3", b.pop3, path);
        row.smtpPort = readProfileInt(b.lower, "smtp_port", config.defaultSmtpPort, path);
        row.pop3Port = readProfileInt(b.lower, "pop3_port", config.defaultPop3Port, path);
        row.smtpTls = readTlsMode(b.lower, "smtp_tls", path);
        row.pop3Tls = readTlsMode(b.lower, "pop3_tls", path);
    }
    return config;
}

int DeployConfig::smtpPortFor(const std::string& host) const {
    for (const auto& row : providers)
        if (row.smtpHost == host)
            return row.smtpPort;
    return defaultSmtpPort;
}

int DeployConfig::pop3PortFor(const std::string& host) const {
    for (const auto& row : providers)
        if (row.pop3Host == host)
            return row.pop3Port;
    return defaultPop3Port;
}

}  // namespace parvola
