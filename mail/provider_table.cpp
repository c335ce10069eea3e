#include "mail/mailbox_account.h"
#include "platform/deploy_config.h"

namespace parvola {

MailboxAccount::MailboxAccount(std::string typed, std::string password)
    : typedAddress(std::move(typed)), typedPassword(std::move(password)) {}

void MailboxAccount::SelectProvider(const std::string& address) {
    size_t at = address.find('@');
    mailboxUser = at == std::string::npos ? std::string() : address.substr(0, at);
    // Only the domain part, "@" included, is searched: a user name that happens
    // to be a provider keyword must not choose that provider.
    const std::string searchText = at == std::string::npos ? address : address.substr(at);
    const DeployConfig config = loadDeployConfig();
    for (const ProviderRow& row : config.providers) {
        if (searchText.find(row.lowerKeyword) != std::string::npos ||
            searchText.find(row.upperKeyword) != std::string::npos) {
            smtpHost = row.smtpHost;
            pop3Host = row.pop3Host;
            smtpPort = row.smtpPort;
            pop3Port = row.pop3Port;
            smtpTls = TlsSettings{row.smtpTls, config.caFile};
            pop3Tls = TlsSettings{row.pop3Tls, config.caFile};
            return;
        }
    }
}

}  // namespace parvola
