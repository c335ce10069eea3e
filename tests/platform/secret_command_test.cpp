#include "platform/secret_command.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

using namespace std::chrono_literals;

TEST(SecretCommand, FirstLineOfWhatTheCommandPrintsAndClearFailures) {
    const SecretCommandResult ok =
        runSecretCommand("printf 'pass word\\r\\nsecond line\\n'; echo noise >&2");
    EXPECT_EQ(ok.outcome, SecretCommandOutcome::Ok);
    EXPECT_EQ(ok.secret, "pass word");

    const SecretCommandResult failed =
        runSecretCommand("echo half; echo 'gpg: decryption failed: No secret key' >&2; exit 2");
    EXPECT_EQ(failed.outcome, SecretCommandOutcome::Failed);
    EXPECT_EQ(failed.secret, "");
    EXPECT_EQ(failed.failure,
              "the command ended with status 2: gpg: decryption failed: No secret key");

    const SecretCommandResult empty = runSecretCommand("true");
    EXPECT_EQ(empty.outcome, SecretCommandOutcome::Empty);
    EXPECT_EQ(empty.failure, "the command printed nothing");

    const SecretCommandResult blankFirstLine = runSecretCommand("printf '\\nlater\\n'");
    EXPECT_EQ(blankFirstLine.outcome, SecretCommandOutcome::Empty);

    const SecretCommandResult missing = runSecretCommand("no-such-password-tool --get");
    EXPECT_EQ(missing.outcome, SecretCommandOutcome::CouldNotStart);
    EXPECT_NE(missing.failure.find("status 127: sh: 1: no-such-password-tool: not found"),
              std::string::npos)
        << missing.failure;
}

TEST(SecretCommand, AHangingCommandIsKilledWithWhatItStartedAtTheLimit) {
    test::TempDir dir;
    const std::string pidFile = (dir / "pid").string();
    const auto start = std::chrono::steady_clock::now();
    const SecretCommandResult hung =
        runSecretCommand("sleep 120 & echo $! > " + pidFile + "; wait", 2500ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
    EXPECT_EQ(hung.outcome, SecretCommandOutcome::TimedOut);
    EXPECT_EQ(hung.failure, "the command did not finish within 2.5 seconds");
    const int sleeper = std::atoi(test::readFile(pidFile).c_str());
    ASSERT_GT(sleeper, 0);
    // The group was killed: the sleeper is gone (or a zombie of init's). A
    // kill is delivered when the process is next scheduled, which on a busy
    // machine may be a moment after the command's shell is reaped.
    const std::string stat = "/proc/" + std::to_string(sleeper) + "/stat";
    std::string state = test::readFile(stat);
    for (auto deadline = std::chrono::steady_clock::now() + 10s;
         !state.empty() && state.find(") Z") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline;
         state = test::readFile(stat))
        std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(state.empty() || state.find(") Z") != std::string::npos) << state;
}

}  // namespace
}  // namespace parvola
