#include "app/process_state.h"

#include "platform/named_lock.h"

namespace parvola {

std::vector<MailboxAccount>& loggedInAccounts() {
    static std::vector<MailboxAccount> accounts;
    return accounts;
}

int findLoggedInAccount(const std::string& name, MailboxAccount& record) {
    RoleGuard guard(LockRole::Accounts);
    for (const auto& account : loggedInAccounts()) {
        if (account.typedAddress == name) {
            record = account;
            return 0;
        }
    }
    return -1;
}

bool addLoggedInAccount(const MailboxAccount& account) {
    RoleGuard guard(LockRole::Accounts);
    for (const auto& existing : loggedInAccounts())
        if (existing.typedAddress == account.typedAddress)
            return false;
    loggedInAccounts().push_back(account);
    return true;
}

void clearLoggedInAccounts() {
    RoleGuard guard(LockRole::Accounts);
    loggedInAccounts().clear();
}

ProcessValues& processValues() {
    static ProcessValues values;
    return values;
}

}  // namespace parvola
