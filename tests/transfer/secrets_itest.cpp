// Passwords and private files through the library's real flows, against the
// web service and the real mail server: a login, a store of two pieces, a
// read, a mistyped password and a mailbox that refuses its password. No
// password may reach a file, a temporary file, a message or a diagnostic;
// everything the program creates in its application directory is the
// owner's alone (files 0600, folders 0700), a settings file left readable by
// others is narrowed, and a remembered password stays in its one setting.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <set>

#include "app/ini_settings.h"
#include "app/process_state.h"
#include "mail/base64.h"
#include "platform/app_dir.h"
#include "platform/notice_box.h"
#include "platform/worker_threads.h"
#include "tests/support/mail_stack.h"
#include "tests/support/secret_search.h"
#include "tests/support/site_process.h"
#include "tests/support/temp_dir.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/account_login.h"
#include "transfer/catalog_mail_worker.h"
#include "transfer/piece_plan.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kPassword = "Pw-7f3a-SECRET-q9";
constexpr const char* kMistyped = "Pw-7f3a-MISTYPED-z4";
constexpr const char* kMailboxPassword = "Mb-5e1c-SECRET-k2";
constexpr const char* kStaleMailboxPassword = "Mb-0d9b-STALE-w8";

// Sends standard error to a file for its lifetime, with the diagnostics on.
class CapturedStderr {
  public:
    explicit CapturedStderr(const fs::path& file) : debug_("PARVOLA_DEBUG", "1") {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~CapturedStderr() {
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    CapturedStderr(const CapturedStderr&) = delete;
    CapturedStderr& operator=(const CapturedStderr&) = delete;

  private:
    test::ScopedEnv debug_;
    int saved_ = -1;
};

unsigned modeOf(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 01000;
}

class Secrets : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(site_.started());
        ASSERT_TRUE(test::MailStack::addUser(mailUser_, kMailboxPassword));
        ASSERT_TRUE(
            site_.addUser(address_, kPassword, mailUser_ + "@sohu.test", kMailboxPassword, true));
        // Its mailbox exists, but the web service knows an old password of it.
        ASSERT_TRUE(test::MailStack::addUser(staleUser_, "Mb-current-1"));
        ASSERT_TRUE(site_.addUser(staleAddress_, "Stale-1", staleUser_ + "@sohu.test",
                                  kStaleMailboxPassword, true));
        // deploy.ini is written by whoever deploys the program, not by it.
        test::writeFile(home_.path() / "deploy.ini",
                        site_.deployIniSection() +
                            "[ports]\nsmtp=" + std::to_string(test::MailStack::smtpPort()) +
                            "\npop3=" + std::to_string(test::MailStack::pop3Port()) +
                            "\n[sohu]\nsmtp=127.0.0.2\npop3=127.0.0.2\n");
        // A settings file from an older install, readable by everyone.
        test::writeFile(home_.path() / "config.ini", "[Generic]\nContinue=false\n");
        ::chmod((home_.path() / "config.ini").c_str(), 0644);
        clearLoggedInAccounts();
        taskList().clear();
        installTransferEngine();
    }
    void TearDown() override {
        EXPECT_TRUE(waitForWorkers(120s));
        clearLoggedInAccounts();
        taskList().clear();
    }

    // Every place a secret could have been left, with what was recorded.
    std::vector<std::string> secretsFound(const std::vector<std::string>& secrets) {
        std::vector<test::NamedText> texts;
        texts.push_back({"standard error", test::readFile(stderrFile_)});
        for (const std::string& message : notices_.messages())
            texts.push_back({"notice " + message, message});
        texts.push_back({"/proc/self/cmdline", test::readFile("/proc/self/cmdline")});
        return test::findSecrets(secrets, {home_.path(), temp_.path(), saves_.path()}, texts);
    }

    test::SiteProcess site_;
    const std::string mailUser_ = test::MailStack::uniqueUser("secret");
    const std::string address_ = mailUser_ + "@parvola.test";
    const std::string staleUser_ = test::MailStack::uniqueUser("stale");
    const std::string staleAddress_ = staleUser_ + "@parvola.test";
    test::AppHome home_;
    test::TempDir temp_{"parvola-tmpdir"};
    test::ScopedEnv tmpdir_{"TMPDIR", temp_.str()};
    test::TempDir saves_{"parvola-saves"};
    test::TempDir sources_{"parvola-sources"};
    test::TempDir capture_{"parvola-stderr"};
    const fs::path stderrFile_ = capture_ / "stderr";
    ScopedRecordingNoticeBox notices_;
};

TEST_F(Secrets, StoreReadAndFailedLoginsLeaveNoPasswordAndOnlyPrivateFiles) {
    const std::string bytes = test::randomBytes(6 * test::kMiB + 3000, 77);  // two pieces
    const std::string path = (sources_ / "年报.bin").string();
    test::writeFile(path, bytes);
    // What the transfers leave in the application directory while they run.
    std::mutex seenMutex;
    std::set<std::string> modesSeen;
    auto lookAtPieces = [&](const std::vector<TransferTask>&) {
        std::lock_guard<std::mutex> guard(seenMutex);
        for (const std::string& line : test::notOwnerOnly(pieceRootFolder()))
            modesSeen.insert(line);
        std::error_code error;
        for (fs::recursive_directory_iterator it(pieceRootFolder(), error), end;
             !error && it != end; it.increment(error))
            modesSeen.insert("seen " + it->path().filename().string());
    };

    {
        CapturedStderr captured(stderrFile_);
        IniSettings settings;
        const LoginResult login = loginAccount(address_, kPassword, false, settings, false);
        ASSERT_TRUE(login.ok()) << ::testing::PrintToString(notices_.messages());
        // The task's row is added once the first piece is cut, before it is sent.
        test::ProgressWatcher watcher(lookAtPieces, lookAtPieces);
        ASSERT_EQ(runUploadWorker(address_, path, test::kDocuments), UploadOutcome::Stored);
        std::vector<CatalogRow> rows;
        Catalog(address_).listFolder(test::kDocuments, rows);
        DownloadInputs inputs;
        for (const CatalogRow& row : rows) {
            if (row.name == "年报.bin") {
                inputs.storedSubject = row.subject;
                inputs.fileName = row.name;
                inputs.fileSize = row.size;
            }
        }
        ASSERT_FALSE(inputs.storedSubject.empty());
        inputs.saveFolder = saves_.str();
        inputs.catalogFolder = test::kDocuments;
        std::string saved;
        ASSERT_EQ(runDownloadWorker(address_, inputs, &saved), DownloadOutcome::Saved);
        EXPECT_TRUE(test::readFile(saved) == bytes);

        IniSettings again;
        EXPECT_EQ(loginAccount(staleAddress_, kMistyped, false, again, false).outcome,
                  LoginOutcome::VerifyFailed);
        EXPECT_EQ(loginAccount(staleAddress_, "Stale-1", false, again, false).outcome,
                  LoginOutcome::CatalogFailed);
        ASSERT_TRUE(waitForWorkers(120s));
    }
    const std::vector<std::string> shown = notices_.messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], staleAddress_ + "的用户名或密码错误,请确认后再次登录。");
    // The refused mailbox login is named, without the password it refused.
    std::string text, details;
    splitNoticeDetails(shown[1], text, details);
    EXPECT_EQ(text, kCatalogLoginFailedText);
    EXPECT_EQ(details.rfind("POP3 ", 0), 0u) << details;
    EXPECT_NE(details.find(", login: -ERR"), std::string::npos) << details;

    EXPECT_EQ(secretsFound({kPassword, kMistyped, kMailboxPassword, kStaleMailboxPassword}),
              std::vector<std::string>{});

    // The application directory: settings, catalog, mailbox caches, locks.
    EXPECT_EQ(test::notOwnerOnly(home_.path(), {"deploy.ini"}), std::vector<std::string>{});
    EXPECT_EQ(modeOf(home_.path() / "config.ini"), 0600u);  // narrowed on its first write
    EXPECT_EQ(modeOf(appPath(address_ + "_config")), 0600u);
    EXPECT_TRUE(fs::is_directory(home_.path() / "mailbox_index"));
    // While the pieces were on their way: the piece folders and piece files.
    {
        std::lock_guard<std::mutex> guard(seenMutex);
        EXPECT_EQ(modesSeen.count("seen 1"), 1u) << ::testing::PrintToString(modesSeen);
        for (const std::string& line : modesSeen)
            EXPECT_EQ(line.rfind("seen ", 0), 0u) << line;
    }
    // The user's own save folder: the file follows the user's umask there.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(modeOf(saves_ / "年报.bin"), 0666u & ~static_cast<unsigned>(mask));
}

TEST_F(Secrets, ARememberedPasswordIsOnlyInItsOneSettingOfAPrivateFile) {
    {
        CapturedStderr captured(stderrFile_);
        IniSettings settings;
        ASSERT_TRUE(loginAccount(address_, kPassword, true, settings, false).ok());
        ASSERT_TRUE(waitForWorkers(120s));
    }
    // The mailbox password nowhere; the login password nowhere in clear, and
    // in base64 in the settings alone.
    const std::vector<test::NamedText> printed = {{"standard error", test::readFile(stderrFile_)}};
    EXPECT_EQ(test::findSecrets({kMailboxPassword}, {home_.path(), temp_.path()}, printed),
              std::vector<std::string>{});
    EXPECT_EQ(
        test::findSecrets({kPassword}, {home_.path(), temp_.path()}, printed),
        std::vector<std::string>{(home_.path() / "config.ini").string() + ": base64 " + kPassword});
    // ... and there only in the "user" setting, as "account:base64(password);".
    const std::string config = test::readFile(home_.path() / "config.ini");
    const std::string entry = address_ + ":" + base64Encode(kPassword) + ";";
    size_t lines = 0;
    for (size_t start = 0, end; start < config.size(); start = end + 1) {
        end = config.find('\n', start);
        if (end == std::string::npos)
            end = config.size();
        const std::string line = config.substr(start, end - start);
        if (line.find(base64Encode(kPassword)) == std::string::npos)
            continue;
        ++lines;
        EXPECT_EQ(line, "user=" + entry);
    }
    EXPECT_EQ(lines, 1u);
    EXPECT_EQ(modeOf(home_.path() / "config.ini"), 0600u);
}

}  // namespace
}  // namespace parvola
