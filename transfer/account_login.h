#pragma once
// The login after the user typed an address and a password, shared by the
// desktop login dialog and the command line: refuse an address already
// logged in, verify it with the web service, bring the catalog from the
// mailbox (or start a new one), log the account in, remember it, and resume
// its unfinished transfers. Every message goes through the notice box.
#include <string>

#include "app/direct_account.h"
#include "app/ini_settings.h"
#include "app/login_verification.h"
#include "mail/mailbox_account.h"

namespace parvola {

enum class LoginOutcome {
    LoggedIn,
    AlreadyLoggedIn,  // "用户已登录" was shown; a dialog stays open
    VerifyFailed,     // the verification showed its own message
    CatalogFailed,    // the mailbox could not be read; the message was shown
    StoreLocked,      // the store is encrypted and its key not at hand; nothing shown
                      // (the client asks for the passphrase), nothing written
};

// Where a remembered password went.
enum class PasswordKept {
    Nowhere,     // not remembered, or its secret comes from a command
    Keyring,     // the desktop keyring (direct accounts, when one answers)
    ConfigFile,  // config.ini, readable by its owner only
};

struct LoginResult {
    LoginOutcome outcome = LoginOutcome::VerifyFailed;
    MailboxAccount account;  // as verified (filled from the verification on)
    PasswordKept passwordKept = PasswordKept::Nowhere;
    // Why the keyring, which answered, did not take the password (it went
    // to config.ini instead); empty otherwise.
    std::string keyringRefusal;
    bool ok() const { return outcome == LoginOutcome::LoggedIn; }
};

inline constexpr const char* kAlreadyLoggedInText = "用户已登录";
// Shown when the web service cannot be asked about the address.
inline constexpr const char* kServiceUnreachableText =
    "网络问题,请稍后再试.如多次登录仍不能登录,请联系客服.";
// Follows the typed address when the web service knows no such password.
inline constexpr const char* kWrongPasswordSuffix = "的用户名或密码错误,请确认后再次登录。";
// Shown when the catalog cannot be read from the mailbox at login.
inline constexpr const char* kCatalogLoginFailedText =
    "网络问题,请稍后再试.如多次登录仍不能登录,请联系客服.";

// The web service's answer for the address, asked before the login (the
// key mail of an encrypted store is looked for with the account it gives):
// the login takes it instead of asking the service a second time.
struct EarlierVerification {
    LoginVerification verdict = LoginVerification::ServiceUnreachable;
    MailboxAccount account;  // as the verification left it
};

// Runs the whole login. An address config.ini remembers as a direct account
// logs in as loginDirectAccount does, with its remembered settings. `settings` is the caller's
// settings record (the dialog's own); the account is remembered there with the password, or with
// the empty text when `rememberPassword` is off. The account's unfinished
// transfers are resumed unless `resumeTasks` is off (a command-line command
// that only lists or edits the catalog must not start transfers). With
// `earlier` the web service is not asked again.
LoginResult loginAccount(const std::string& address, const std::string& password,
                         bool rememberPassword, IniSettings& settings, bool resumeTasks = true,
                         const EarlierVerification* earlier = nullptr);

// The login of the user's own mailbox, with no web service: the mailbox
// login is the verification (a refused login shows the address followed by
// kWrongPasswordSuffix, the server's words, passwords masked, in the
// details; a login the plain-text guard stopped shows the guard's words),
// the catalog is brought from the mailbox as for every account, and on
// success the settings are remembered in `settings`' file beside the
// account. With `rememberPassword` the password goes to the desktop keyring
// when one answers, else into config.ini beside the account; the result
// says which.
LoginResult loginDirectAccount(const DirectAccountSettings& direct, const std::string& password,
                               bool rememberPassword, IniSettings& settings,
                               bool resumeTasks = true);

}  // namespace parvola
