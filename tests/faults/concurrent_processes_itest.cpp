// Two processes on one application directory at once: the desktop client's
// core (a driver process whose eight threads change the catalog, write
// settings and save unfinished-transfer records) and the command-line client
// (logging in and creating folders, command after command). Nothing may be
// lost, doubled or damaged.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <sstream>
#include <thread>

#include "app/ini_settings.h"
#include "catalog/catalog.h"
#include "platform/ini_file.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/mail_stack.h"
#include "tests/support/site_process.h"
#include "tests/support/temp_dir.h"
#include "transfer/remaining_tasks.h"

namespace parvola::test {
namespace {

constexpr int kDriverThreads = 8;
constexpr int kMinimumRounds = 6;
constexpr int kCliFolders = 6;

// The driver process, its standard output read at the end.
class DriverProcess {
  public:
    DriverProcess(const std::string& home, const std::string& user) {
        int out[2];
        if (::pipe(out) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::setenv("PARVOLA_HOME", home.c_str(), 1);
            const std::string rounds = std::to_string(kMinimumRounds);
            ::execl(PARVOLA_CORE_DRIVER, PARVOLA_CORE_DRIVER, user.c_str(), rounds.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        outFd_ = out[0];
    }
    ~DriverProcess() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (outFd_ >= 0)
            ::close(outFd_);
    }
    bool started() const { return pid_ > 0; }

    // Waits for the end (bounded); the exit code, -1 when it did not end.
    int finish(std::chrono::seconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        reaped_ = true;
        char buffer[4096];
        ssize_t got;
        while ((got = ::read(outFd_, buffer, sizeof buffer)) > 0)
            out_.append(buffer, static_cast<size_t>(got));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Rounds done by each thread, from "thread T rounds N" lines.
    std::map<int, int> rounds() const {
        std::map<int, int> done;
        std::istringstream lines(out_);
        std::string word1, word2;
        int thread = 0, count = 0;
        while (lines >> word1 >> thread >> word2 >> count)
            done[thread] = count;
        return done;
    }

  private:
    pid_t pid_ = -1;
    int outFd_ = -1;
    bool reaped_ = false;
    std::string out_;
};

TEST(ConcurrentProcesses, TheClientCoreAndTheCommandLineLoseNothingOnOneDirectory) {
    SiteProcess site;
    ASSERT_TRUE(site.started());
    const std::string mailUser = MailStack::uniqueUser("conc");
    ASSERT_TRUE(MailStack::addUser(mailUser, "mbpw"));
    const std::string address = mailUser + "@parvola.test";
    ASSERT_TRUE(site.addUser(address, "Secret-1", mailUser + "@sohu.test", "mbpw", true));
    TempDir home("parvola-conc-home");
    writeFile(home.path() / "deploy.ini",
              site.deployIniSection() + "[ports]\nsmtp=" + std::to_string(MailStack::smtpPort()) +
                  "\npop3=" + std::to_string(MailStack::pop3Port()) +
                  "\n[sohu]\nsmtp=127.0.0.2\npop3=127.0.0.2\n");
    CliResult login = runCli(home.str(), {"login", address, "--password-stdin"}, "Secret-1\n");
    ASSERT_EQ(login.exitCode, 0) << login.err;

    DriverProcess driver(home.str(), address);
    ASSERT_TRUE(driver.started());
    for (int i = 0; i < kCliFolders; ++i) {
        CliResult made = runCli(home.str(), {"mkdir", "cli " + std::to_string(i)});
        EXPECT_EQ(made.exitCode, 0) << made.err;
    }
    writeFile(home.path() / "stop-driver", "");
    ASSERT_EQ(driver.finish(std::chrono::seconds(180)), 0);
    const std::map<int, int> rounds = driver.rounds();
    ASSERT_EQ(rounds.size(), static_cast<size_t>(kDriverThreads));

    ScopedEnv appHome("PARVOLA_HOME", home.str());
    // Every catalog change of both processes is there.
    Catalog catalog(address);
    for (int i = 0; i < kCliFolders; ++i)
        EXPECT_EQ(catalog.exists("", "cli " + std::to_string(i), "Folder"), CatalogPresence::Live)
            << "cli " << i;
    int expectedRecords = 0;
    for (const auto& [thread, count] : rounds) {
        EXPECT_GE(count, kMinimumRounds);
        for (int i = 0; i < count; ++i) {
            const std::string tag = "t" + std::to_string(thread) + "-" + std::to_string(i);
            EXPECT_EQ(catalog.exists("", "driver " + tag, "Folder"), CatalogPresence::Live) << tag;
            EXPECT_EQ(catalog.exists("我的文档", tag + ".bin", "File"), CatalogPresence::Live)
                << tag;
        }
        expectedRecords += count;
    }

    // config.ini reads as a whole INI file with every key both wrote (Python's
    // strict parser refuses a repeated section or key).
    const std::string ini = (home.path() / "config.ini").string();
    const std::string check =
        "python3 -c \"import configparser,sys; p=configparser.ConfigParser(interpolation=None,"
        " strict=True); p.optionxform=str; p.read(sys.argv[1], encoding='utf-8');"
        " print(len(p['faults']))\" '" +
        ini + "' > '" + home.str() + "/keys.txt'";
    ASSERT_EQ(std::system(check.c_str()), 0);
    EXPECT_EQ(readFile(home.path() / "keys.txt"), std::to_string(expectedRecords) + "\n");
    for (const auto& [thread, count] : rounds) {
        for (int i = 0; i < count; ++i) {
            const std::string tag = "t" + std::to_string(thread) + "-" + std::to_string(i);
            EXPECT_EQ(readProfileString("faults", "driver_" + tag, "", ini), "value " + tag);
        }
    }
    EXPECT_FALSE(IniSettings(ini).accounts().empty());  // the command line's login

    // Every unfinished-transfer record exactly once.
    std::map<int, int> seen;
    for (const TransferTask& task : takeRemainingTasks(IniSettings(ini), address))
        ++seen[task.fileId];
    EXPECT_EQ(seen.size(), static_cast<size_t>(expectedRecords));
    for (const auto& [thread, count] : rounds)
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(seen[thread * 1000 + i], 1) << thread << "-" << i;
}

}  // namespace
}  // namespace parvola::test
