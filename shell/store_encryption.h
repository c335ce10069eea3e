#pragma once
// The desktop's side of an encrypted store: the login that opens one with
// its passphrase (read back from the keyring when kept there, else asked in
// the passphrase dialog until it opens or the user cancels) or makes a plain
// one encrypted when "加密此存储" is checked, and the account menu's actions
// that encrypt a logged-in account later or change its passphrase.
#include <functional>
#include <string>

#include "shell/shell_engine.h"
#include "transfer/account_login.h"
#include "transfer/encrypted_login.h"

namespace parvola::ui {

// Runs `login` with the encryption steps around it. `reach` finds the
// account before the login (its web-service answer goes to `login`, which
// then does not ask again). A store with a key mail is opened first; a
// cancelled passphrase or a key mail that cannot be read stops everything
// before anything is written. With `encrypt` a plain store is made encrypted
// once logged in, its transfers resumed after that.
using LoginStep = std::function<LoginResult(const EarlierVerification* earlier, bool resumeTasks)>;
ShellLoginResult loginWithEncryption(const std::string& address, bool encrypt,
                                     const std::function<AccountBeforeLogin()>& reach,
                                     const LoginStep& login);

// The account menu's "加密存储": states the trade-off, asks, then a new
// passphrase twice; nothing stored before is stored again.
void encryptStoreLater(const std::string& account);
// The account menu's "更改存储口令": the current passphrase, then the new one
// twice; the key is wrapped anew and nothing is stored again.
void changeStorePassphrase(const std::string& account);

}  // namespace parvola::ui
