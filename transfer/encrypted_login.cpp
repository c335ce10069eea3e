#include "transfer/encrypted_login.h"

#include "app/direct_account.h"
#include "platform/ini_file.h"
#include "platform/keyring.h"
#include "transfer/catalog_mail_worker.h"
#include "transfer/key_mail.h"

namespace parvola {
namespace {

// config.ini's section of the accounts this computer saw encrypted.
constexpr const char* kEncryptedSection = "encrypted";

}  // namespace

AccountBeforeLogin accountBeforeLogin(const std::string& address, const std::string& password,
                                      const IniSettings& settings) {
    AccountBeforeLogin before;
    if (auto direct = rememberedDirectAccount(settings.path(), address)) {
        before.account = directMailboxAccount(*direct, password);
        before.reached = true;
        return before;
    }
    EarlierVerification verification;
    verification.account = MailboxAccount(address, password);
    verification.verdict = verifyLogin(verification.account);
    before.reached = verification.verdict == LoginVerification::Verified;
    before.account = verification.account;
    before.verification = std::move(verification);
    return before;
}

std::string passphraseKeyringName(const std::string& address) {
    return "passphrase:" + address;
}

std::optional<std::string> keptPassphrase(const std::string& address) {
    std::string kept;
    std::string failure;
    if (keyringLookup(passphraseKeyringName(address), kept, failure) != KeyringResult::Ok ||
        kept.empty())
        return std::nullopt;
    return kept;
}

bool seenEncrypted(const std::string& address, const IniSettings& settings) {
    return readProfileString(kEncryptedSection, address, "", settings.path()) == "1";
}

void noteSeenEncrypted(const std::string& address, const IniSettings& settings) {
    writeProfileString(kEncryptedSection, address, "1", settings.path());
}

bool keyMailWorthALook(const std::string& address, const IniSettings& settings) {
    return seenEncrypted(address, settings) || keptPassphrase(address).has_value();
}

bool storeIsEncrypted(const MailboxAccount& account) {
    return detectEncryption(account) == KeyMailResult::Ok;
}

StoreOpening openStoreWith(const MailboxAccount& account, const std::string& passphrase,
                           const IniSettings& settings) {
    switch (unlockEncryption(account, passphrase)) {
        case KeyMailResult::Ok:
            noteSeenEncrypted(account.loginAddress, settings);
            return StoreOpening::Unlocked;
        case KeyMailResult::NotEncrypted:
            return StoreOpening::Plain;
        case KeyMailResult::WrongPassphrase:
        case KeyMailResult::Refused:
            return StoreOpening::WrongPassphrase;
        case KeyMailResult::Damaged:
            return StoreOpening::Damaged;
        default:
            return StoreOpening::Unreadable;
    }
}

EncryptionStart startEncryption(const MailboxAccount& account, const std::string& passphrase,
                                const IniSettings& settings) {
    switch (enableEncryption(account, passphrase)) {
        case KeyMailResult::Ok:
            break;
        case KeyMailResult::AlreadyEncrypted:
            return EncryptionStart::AlreadyEncrypted;
        default:
            return EncryptionStart::KeyMailFailed;
    }
    noteSeenEncrypted(account.loginAddress, settings);
    // An encrypted account loads only a sealed catalog: one goes out at once.
    if (mailCatalogNow(account.loginAddress) != 0)
        return EncryptionStart::CatalogNotMailed;
    return EncryptionStart::Done;
}

}  // namespace parvola
