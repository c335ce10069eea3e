#include "transfer/key_mail.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <memory>
#include <vector>

#include "mail/attachment_output.h"
#include "transfer/account_keys.h"
#include "transfer/catalog_scratch.h"
#include "transfer/mailbox_factory.h"
#include "transfer/mailbox_index.h"
#include "transfer/store_mail.h"

namespace parvola {
namespace {

constexpr const char kKeyTag[] = "PARVOLCONFIGKEY;";
constexpr const char kKeyFileName[] = "parvola_key.txt";
// A wrapped key is a few hundred bytes; anything much larger is not one.
constexpr std::uintmax_t kMaxKeyFile = 4096;

struct KeyMail {
    int number = 0;
    long long time = 0;
};

// The key mails of the address in an open session, newest first.
std::vector<KeyMail> keyMailsOf(const MailboxIndex& index, const std::string& user) {
    std::vector<KeyMail> mails;
    for (int n = 1; n <= index.messageCount(); ++n) {
        KeyMail mail;
        std::string address;
        if (parseKeyMailSubject(index.subject(n), mail.time, address) && address == user) {
            mail.number = n;
            mails.push_back(mail);
        }
    }
    std::sort(mails.begin(), mails.end(), [](const KeyMail& a, const KeyMail& b) {
        return a.time != b.time ? a.time > b.time : a.number > b.number;
    });
    return mails;
}

// The key mail's attachment, kept in memory: reading it writes nothing.
class KeyTextOutput : public AttachmentOutput {
  public:
    explicit KeyTextOutput(std::string& text) : text_(text) {}
    bool begin() override {
        text_.clear();
        tooLarge_ = false;
        ended_ = false;
        return true;
    }
    bool write(std::string_view bytes) override {
        if (text_.size() + bytes.size() > kMaxKeyFile) {
            tooLarge_ = true;
            return false;
        }
        text_.append(bytes);
        return true;
    }
    bool end() override {
        ended_ = true;
        return true;
    }
    bool tooLarge() const { return tooLarge_; }
    bool ended() const { return ended_; }

  private:
    std::string& text_;
    bool tooLarge_ = false;
    bool ended_ = false;
};

// One session over the account's mailbox with every subject known. The
// subjects it read go into the mailbox's subject cache only when asked
// (saveCache): a lookup that ends with the account locked writes nothing.
class KeyMailSession {
  public:
    explicit KeyMailSession(const MailboxAccount& account)
        : mailbox_(mailboxFor(account)), index_(*mailbox_, mailboxCacheName(account)) {
        ok_ = mailbox_->open() && index_.open() && index_.readAll();
        mails_ = ok_ ? keyMailsOf(index_, account.loginAddress) : std::vector<KeyMail>();
    }
    ~KeyMailSession() { close(); }
    KeyMailSession(const KeyMailSession&) = delete;
    KeyMailSession& operator=(const KeyMailSession&) = delete;

    bool ok() const { return ok_; }
    // Ends the session, carrying out the deletions marked in it.
    bool close() {
        if (closed_)
            return false;
        closed_ = true;
        return mailbox_->close();
    }
    // Keeps the subjects read for the next session, also after close().
    void saveCache() const {
        if (ok_)
            index_.saveCache();
    }
    const std::vector<KeyMail>& mails() const { return mails_; }
    Mailbox& mailbox() { return *mailbox_; }

    // The wrapped-key text of the newest key mail.
    KeyMailResult readNewest(std::string& text) {
        if (!ok_)
            return KeyMailResult::MailboxFailed;
        if (mails_.empty())
            return KeyMailResult::NotEncrypted;
        KeyTextOutput output(text);
        const AttachmentSave saved =
            mailbox_->streamAttachment(mails_.front().number, output, -1, nullptr);
        if (output.tooLarge())
            return KeyMailResult::Damaged;
        if (saved != AttachmentSave::Saved)
            return KeyMailResult::MailboxFailed;
        // A key mail without its attachment is no key mail we read.
        return output.ended() ? KeyMailResult::Ok : KeyMailResult::Damaged;
    }

  private:
    std::unique_ptr<Mailbox> mailbox_;
    MailboxIndex index_;
    std::vector<KeyMail> mails_;
    bool ok_ = false;
    bool closed_ = false;
};

KeyMailResult fromCrypto(CryptoResult result) {
    switch (result) {
        case CryptoResult::Ok:
            return KeyMailResult::Ok;
        case CryptoResult::WrongPassphrase:
            return KeyMailResult::WrongPassphrase;
        case CryptoResult::Refused:
            return KeyMailResult::Refused;
        default:
            return KeyMailResult::Damaged;
    }
}

KeyMailResult storeKeyMail(const MailboxAccount& account, const std::string& text, long long time) {
    CatalogScratch scratch;
    if (!scratch.ok())
        return KeyMailResult::MailboxFailed;
    const std::string path = scratch.file(kKeyFileName);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush())
            return KeyMailResult::MailboxFailed;
    }
    StoreMail mail;
    mail.subject = keyMailSubject(time, account.loginAddress);
    mail.bodyText = mail.subject;
    mail.attachmentPath = path;
    return SendStoreMail(account, mail) == 0 ? KeyMailResult::Ok : KeyMailResult::MailboxFailed;
}

long long now() {
    return static_cast<long long>(std::time(nullptr));
}

}  // namespace

std::string keyMailSubject(long long time, const std::string& loginAddress) {
    return kKeyTag + std::to_string(time) + ";" + loginAddress;
}

bool parseKeyMailSubject(const std::string& subject, long long& time, std::string& loginAddress) {
    const std::string tag = kKeyTag;
    if (subject.compare(0, tag.size(), tag) != 0)
        return false;
    size_t pos = tag.size();
    long long value = 0;
    size_t digits = pos;
    while (pos < subject.size() && subject[pos] >= '0' && subject[pos] <= '9' &&
           pos - digits < 18) {
        value = value * 10 + (subject[pos] - '0');
        ++pos;
    }
    if (pos == digits || pos + 1 >= subject.size() || subject[pos] != ';')
        return false;
    time = value;
    loginAddress = subject.substr(pos + 1);
    return true;
}

KeyMailResult enableEncryption(const MailboxAccount& account, const std::string& passphrase,
                               const KdfParams& params) {
    if (passphrase.empty())
        return KeyMailResult::Refused;
    {
        KeyMailSession session(account);
        if (!session.ok())
            return KeyMailResult::MailboxFailed;
        if (!session.mails().empty())
            return KeyMailResult::AlreadyEncrypted;
        session.saveCache();  // a plain account until now
    }
    DataKey key;
    if (DataKey::random(key) != CryptoResult::Ok)
        return KeyMailResult::Damaged;
    std::string text;
    if (KeyMailResult wrapped = fromCrypto(wrapDataKey(key, passphrase, params, text));
        wrapped != KeyMailResult::Ok)
        return wrapped;
    if (KeyMailResult stored = storeKeyMail(account, text, now()); stored != KeyMailResult::Ok)
        return stored;
    unlockAccountKeys(account.loginAddress, key);
    return KeyMailResult::Ok;
}

KeyMailResult unlockEncryption(const MailboxAccount& account, const std::string& passphrase) {
    KeyMailSession session(account);
    std::string text;
    const KeyMailResult read = session.readNewest(text);
    session.close();
    if (read == KeyMailResult::NotEncrypted)
        session.saveCache();
    if (read != KeyMailResult::Ok)
        return read;
    DataKey key;
    KeyMailResult opened = fromCrypto(unwrapDataKey(text, passphrase, key));
    if (opened == KeyMailResult::Ok) {
        unlockAccountKeys(account.loginAddress, key);
        session.saveCache();
    } else if (accountEncryption(account.loginAddress) != AccountEncryption::Unlocked) {
        lockAccountKeys(account.loginAddress);
    }
    return opened;
}

KeyMailResult detectEncryption(const MailboxAccount& account) {
    KeyMailSession session(account);
    if (!session.ok())
        return KeyMailResult::MailboxFailed;
    const AccountEncryption known = accountEncryption(account.loginAddress);
    if (session.mails().empty() || known == AccountEncryption::Unlocked)
        session.saveCache();
    if (session.mails().empty())
        return KeyMailResult::NotEncrypted;
    if (known == AccountEncryption::Plain)
        lockAccountKeys(account.loginAddress);
    return KeyMailResult::Ok;
}

KeyMailResult changePassphrase(const MailboxAccount& account, const std::string& oldPassphrase,
                               const std::string& newPassphrase, const KdfParams& params,
                               bool* oldKeyMailsLeft) {
    if (newPassphrase.empty())
        return KeyMailResult::Refused;
    std::string text;
    long long newest = 0;
    {
        KeyMailSession session(account);
        if (KeyMailResult read = session.readNewest(text); read != KeyMailResult::Ok)
            return read;
        newest = session.mails().front().time;
        if (accountEncryption(account.loginAddress) == AccountEncryption::Unlocked)
            session.saveCache();
    }
    std::string rewrapped;
    if (KeyMailResult done =
            fromCrypto(rewrapDataKey(text, oldPassphrase, newPassphrase, params, rewrapped));
        done != KeyMailResult::Ok)
        return done;
    // Later than every key mail there, even when the clock says otherwise:
    // the newest subject is the one every computer reads.
    if (KeyMailResult stored = storeKeyMail(account, rewrapped, std::max(now(), newest + 1));
        stored != KeyMailResult::Ok)
        return stored;
    const int left = removeOldKeyMails(account);
    if (oldKeyMailsLeft != nullptr)
        *oldKeyMailsLeft = left != 1;
    return KeyMailResult::Ok;
}

void noteKeyMails(const MailboxIndex& index, const std::string& loginAddress) {
    if (!keyMailsOf(index, loginAddress).empty() &&
        accountEncryption(loginAddress) == AccountEncryption::Plain)
        lockAccountKeys(loginAddress);
}

int removeOldKeyMails(const MailboxAccount& account) {
    KeyMailSession session(account);
    if (!session.ok())
        return -1;
    session.saveCache();
    const std::vector<KeyMail>& mails = session.mails();
    const int count = static_cast<int>(mails.size());
    for (size_t i = 1; i < mails.size(); ++i) {
        if (!session.mailbox().markDeleted(mails[i].number))
            return count;
    }
    if (count > 1 && !session.close())
        return count;
    return std::min(count, 1);
}

}  // namespace parvola
