#pragma once
// Deployment data: the mail providers' hosts and ports and the web service's
// addresses. Built-in defaults, overridden by deploy.ini in the application
// directory:
//
//   [site]      base=http://host:port   group=http://host:port
//   [ports]     pop3=110   smtp=25
//   [sina] ... [foxmail]   smtp=HOST  pop3=HOST  smtp_port=N  pop3_port=N
//                          smtp_tls=MODE  pop3_tls=MODE
//   [tls]       ca_file=PATH
//   [setup]     autoconfig_base=URL
//
// MODE is none (the default), implicit (SMTPS, POP3S) or starttls (STARTTLS,
// STLS). ca_file names a further trusted CA certificate (PEM) beside the
// system's trust store, for the mail servers and the web service alike.
// autoconfig_base replaces the places mail autoconfiguration documents are
// asked for (BASE/autoconfig.DOMAIN/... and BASE/DOMAIN/.well-known/...), so
// a test or a closed network can serve them.
#include <array>
#include <string>

#include "platform/tls_settings.h"

namespace parvola {

struct ProviderRow {
    std::string lowerKeyword;  // "sina"
    std::string upperKeyword;  // "SINA"
    std::string smtpHost;
    std::string pop3Host;
    int smtpPort;
    int pop3Port;
    TlsMode smtpTls = TlsMode::None;
    TlsMode pop3Tls = TlsMode::None;
};

struct DeployConfig {
    std::array<ProviderRow, 7> providers;
    std::string siteBase;   // notification, login and information pages
    std::string groupBase;  // the group login page
    int defaultSmtpPort;
    int defaultPop3Port;
    std::string caFile;          // empty: the system's trust store alone
    std::string autoconfigBase;  // empty: the domains' own autoconfiguration places

    // Ports for a host chosen from the table (the row's own, else the defaults).
    int smtpPortFor(const std::string& host) const;
    int pop3PortFor(const std::string& host) const;
};

// Reads deploy.ini afresh from the application directory.
DeployConfig loadDeployConfig();

}  // namespace parvola
