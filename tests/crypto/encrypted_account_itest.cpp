// An encrypted account through the real mail server: the key mail that a
// second computer opens with only the passphrase, the wrong passphrase that
// opens and writes nothing, the passphrase change, and the catalog that
// travels sealed.
#include <gtest/gtest.h>

#include <chrono>

#include "app/process_state.h"
#include "catalog/catalog.h"
#include "crypto/name_token.h"
#include "platform/app_dir.h"
#include "platform/worker_threads.h"
#include "tests/crypto/maildir_text.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"
#include "tests/transfer/catalog_sync_support.h"
#include "transfer/account_keys.h"
#include "transfer/catalog_mail_worker.h"
#include "transfer/catalog_sync.h"
#include "transfer/key_mail.h"

namespace parvola {
namespace {

using namespace std::chrono_literals;

constexpr const char* kPassphrase = "山高月小 water falls";
const std::string kSecretFolder = "机密项目二〇二六年度预算";

// The name token of `name` under the account's keys in this process: equal
// tokens mean the same data key.
std::string tokenOf(const std::string& user, const std::string& name) {
    std::shared_ptr<const AccountKeys> keys = accountKeys(user);
    std::string token;
    if (keys == nullptr || nameToken(keys->names, name, token) != CryptoResult::Ok)
        return "";
    return token;
}

size_t keyMailCount(const std::vector<std::string>& subjects, const std::string& user) {
    size_t count = 0;
    for (const std::string& subject : subjects) {
        long long time = 0;
        std::string address;
        count += parseKeyMailSubject(subject, time, address) && address == user ? 1 : 0;
    }
    return count;
}

class EncryptedAccount : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::MailStack::addUser(mailUser_, "pw"));
        clearLoggedInAccounts();
        forgetAllAccountKeys();
    }
    void TearDown() override {
        EXPECT_TRUE(waitForWorkers(60s));
        clearLoggedInAccounts();
        forgetAllAccountKeys();
    }

    // Another computer: its own application directory, nothing in memory.
    void becomeAnotherComputer() {
        home_ = std::make_unique<test::AppHome>();
        test::writeFile(home_->path() / "deploy.ini", test::mailDeployIni());
        clearLoggedInAccounts();
        forgetAllAccountKeys();
    }

    std::string localFolderNames() {
        Catalog catalog(user_);
        std::vector<CatalogRow> rows;
        if (!catalog.enterUser())
            return "";
        catalog.listFolder("", rows);
        std::string names;
        for (const CatalogRow& row : rows)
            names += row.name + "/";
        return names;
    }

    std::unique_ptr<test::AppHome> home_ = std::make_unique<test::AppHome>();
    test::RecordingCatalogHooks hooks_;
    const std::string mailUser_ = test::MailStack::uniqueUser("crypt");
    MailboxAccount account_ = test::mailAccount(mailUser_, "pw");
    const std::string user_ = account_.loginAddress;
};

TEST_F(EncryptedAccount, ASecondComputerOpensTheKeyMailWithOnlyThePassphrase) {
    EXPECT_EQ(detectEncryption(account_), KeyMailResult::NotEncrypted);
    EXPECT_EQ(unlockEncryption(account_, kPassphrase), KeyMailResult::NotEncrypted);
    EXPECT_EQ(accountEncryption(user_), AccountEncryption::Plain);

    ASSERT_EQ(enableEncryption(account_, kPassphrase, KdfParams::fastest()), KeyMailResult::Ok);
    EXPECT_EQ(accountEncryption(user_), AccountEncryption::Unlocked);
    const std::string token = tokenOf(user_, "报告.pdf");
    ASSERT_FALSE(token.empty());
    ASSERT_TRUE(test::waitForMailCount(account_, 1));
    EXPECT_EQ(keyMailCount(test::mailboxSubjects(account_), user_), 1u);
    // A second enable would make a second data key: refused, nothing stored.
    EXPECT_EQ(enableEncryption(account_, "another", KdfParams::fastest()),
              KeyMailResult::AlreadyEncrypted);

    // The key mail carries the wrapped key (the decoded attachment reads as
    // one, which also shows the Maildir search decodes what it must), never
    // the passphrase.
    const auto messages = test::readableMaildir(mailUser_);
    EXPECT_EQ(test::findReadable(messages, "Parvola-Key: 1\nKDF: argon2id13").size(), 1u);
    EXPECT_TRUE(test::findReadable(messages, kPassphrase).empty());

    becomeAnotherComputer();
    EXPECT_EQ(detectEncryption(account_), KeyMailResult::Ok);
    EXPECT_EQ(accountEncryption(user_), AccountEncryption::Locked);
    ASSERT_EQ(unlockEncryption(account_, kPassphrase), KeyMailResult::Ok);
    EXPECT_EQ(tokenOf(user_, "报告.pdf"), token);

    // A third computer with the wrong passphrase: told so, locked, and
    // nothing written in its directory or the mailbox.
    becomeAnotherComputer();
    const std::vector<std::string> filesBefore = test::filesBelow(home_->path());
    EXPECT_EQ(unlockEncryption(account_, "山高月小 water fall"), KeyMailResult::WrongPassphrase);
    EXPECT_EQ(accountEncryption(user_), AccountEncryption::Locked);
    EXPECT_EQ(accountKeys(user_), nullptr);
    EXPECT_EQ(test::mailboxSubjects(account_).size(), 1u);
    // Not even the subjects it read: no file at all is added.
    EXPECT_EQ(test::filesBelow(home_->path()), filesBefore);
}

TEST_F(EncryptedAccount, APassphraseChangeKeepsTheDataKeyAndRetiresTheOldOne) {
    ASSERT_EQ(enableEncryption(account_, kPassphrase, KdfParams::fastest()), KeyMailResult::Ok);
    const std::string token = tokenOf(user_, "a");
    ASSERT_TRUE(test::waitForMailCount(account_, 1));

    EXPECT_EQ(changePassphrase(account_, "not it", "new one", KdfParams::fastest()),
              KeyMailResult::WrongPassphrase);
    EXPECT_EQ(test::mailboxSubjects(account_).size(), 1u);

    bool oldLeft = true;
    ASSERT_EQ(changePassphrase(account_, kPassphrase, "new one", KdfParams::fastest(), &oldLeft),
              KeyMailResult::Ok);
    // The new key mail may still have been on its way when the old ones were
    // looked for: then they go once it is there.
    ASSERT_TRUE(test::waitForMailbox(account_, [&](const std::vector<std::string>& subjects) {
        return removeOldKeyMails(account_) == 1 && keyMailCount(subjects, user_) >= 1;
    }));
    ASSERT_TRUE(test::waitForMailbox(account_, [&](const std::vector<std::string>& subjects) {
        return keyMailCount(subjects, user_) == 1;
    }));

    becomeAnotherComputer();
    EXPECT_EQ(unlockEncryption(account_, kPassphrase), KeyMailResult::WrongPassphrase);
    ASSERT_EQ(unlockEncryption(account_, "new one"), KeyMailResult::Ok);
    EXPECT_EQ(tokenOf(user_, "a"), token);
}

TEST_F(EncryptedAccount, TheCatalogTravelsSealedAndOnlyTheKeyOpensIt) {
    test::writeFile(home_->path() / "deploy.ini", test::mailDeployIni());
    ASSERT_EQ(enableEncryption(account_, kPassphrase, KdfParams::fastest()), KeyMailResult::Ok);
    ASSERT_TRUE(addLoggedInAccount(account_));
    Catalog(user_).createNew(user_);
    ASSERT_EQ(Catalog(user_).addFolder("", kSecretFolder), 0);
    ASSERT_EQ(mailCatalogNow(user_), 0);
    ASSERT_TRUE(test::waitForMailCount(account_, 2));

    const auto messages = test::readableMaildir(mailUser_);
    EXPECT_EQ(test::findReadable(messages, kSecretFolder), std::vector<std::string>());
    EXPECT_EQ(test::findReadable(messages, "我的文档"), std::vector<std::string>());
    // The attachment is the sealed form, not a zip the provider could open.
    EXPECT_EQ(test::findReadable(messages, "PK\x03\x04"), std::vector<std::string>());
    EXPECT_EQ(test::findReadable(messages, "PVC1").size(), 1u);

    becomeAnotherComputer();
    ASSERT_EQ(unlockEncryption(account_, kPassphrase), KeyMailResult::Ok);
    Catalog(user_).createNew(user_);
    ASSERT_EQ(localFolderNames().find(kSecretFolder), std::string::npos);
    EXPECT_EQ(SyncCatalog(user_, account_, SyncMode::Load), kSyncLoaded);
    EXPECT_NE(localFolderNames().find(kSecretFolder + "/"), std::string::npos);

    // Without the key the sealed catalog does not load: the catalog there stays.
    becomeAnotherComputer();
    EXPECT_EQ(unlockEncryption(account_, "wrong"), KeyMailResult::WrongPassphrase);
    Catalog(user_).createNew(user_);
    const std::string before = test::readFile(appPath(user_ + "_config"));
    EXPECT_EQ(SyncCatalog(user_, account_, SyncMode::Load), kSyncNoCatalog);
    EXPECT_EQ(test::readFile(appPath(user_ + "_config")), before);
    // Nor is a locked account's catalog mailed in clear.
    ASSERT_TRUE(addLoggedInAccount(account_));
    EXPECT_EQ(mailCatalogNow(user_), -1);
    EXPECT_EQ(test::mailboxSubjects(account_).size(), 2u);
    EXPECT_TRUE(test::strayCatalogFiles(home_->path()).empty());
}

TEST_F(EncryptedAccount, AProcessNeverToldFindsTheKeyMailAtTheCatalogLoadAndSendsNothing) {
    test::writeFile(home_->path() / "deploy.ini", test::mailDeployIni());
    ASSERT_EQ(enableEncryption(account_, kPassphrase, KdfParams::fastest()), KeyMailResult::Ok);
    ASSERT_TRUE(test::waitForMailCount(account_, 1));

    becomeAnotherComputer();
    // The sealed store is there but cannot be opened: the login stops
    // rather than start an empty catalog that would hide it.
    std::string failure;
    EXPECT_EQ(CatalogLoginStep(account_, nullptr, &failure), -1);
    EXPECT_NE(failure.find("passphrase"), std::string::npos) << failure;
    EXPECT_EQ(accountEncryption(user_), AccountEncryption::Locked);
    EXPECT_FALSE(Catalog(user_).hasUser());
    EXPECT_EQ(test::mailboxSubjects(account_).size(), 1u);
}

}  // namespace
}  // namespace parvola
