// Trying a failed piece again: the pauses, the tries, what the row says, and
// a cancel or a pause during the wait acting at once.
#include "transfer/piece_retry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>

#include "app/ini_settings.h"
#include "tests/support/temp_dir.h"
#include "tests/transfer/fake_retry_clock.h"
#include "tests/transfer/task_list_support.h"
#include "transfer/pause_state.h"
#include "transfer/remaining_tasks.h"

namespace parvola {
namespace {

using namespace std::chrono_literals;
using test::makeTask;

// The speed column of the list's first row, read under the list's lock.
std::string statusOf(TaskList& list) {
    const std::vector<TaskRowTexts> rows = list.rows();
    return rows.empty() ? std::string() : rows.front().speed;
}

bool waitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class PieceRetryTest : public ::testing::Test {
  protected:
    void SetUp() override { list_.addTask(makeTask("u", "a.bin", 7)); }
    void TearDown() override { resumeTransfers(); }
    test::TempDir runtime_{"parvola-run"};
    test::ScopedEnv lockFolder_{"XDG_RUNTIME_DIR", runtime_.str()};
    test::AppHome home_;
    TaskList list_;
};

TEST(PieceRetryPause, DoublesFromTwoSecondsSpreadByAQuarter) {
    EXPECT_EQ(retryPauseSeconds(1, 0.5), 2);
    EXPECT_EQ(retryPauseSeconds(5, 0.5), 32);
    EXPECT_EQ(retryPauseSeconds(5, 0.0), 24);
    EXPECT_EQ(retryPauseSeconds(5, 0.999), 40);
    EXPECT_EQ(retryPauseSeconds(1, 0.0), 2);  // 1.5 rounds to 2, never 0
    EXPECT_EQ(retryingText(8, 3, 5, "SMTP 127.0.0.1:25, send: Connection reset by peer"),
              "retrying in 8 s (try 3 of 5): SMTP 127.0.0.1:25, send: Connection reset by peer");
}

TEST_F(PieceRetryTest, TransientFailuresWaitLongerEachTryThenGiveUp) {
    test::FakeRetryClock clock;
    PieceRetry retry(list_, 7);  // the settings' default: five tries
    ASSERT_EQ(retry.tries(), 5);
    for (int k = 1; k <= 5; ++k)
        EXPECT_EQ(retry.afterFailure(MailboxFailure::Transient, "reset"), RetryStep::TryAgain);
    EXPECT_EQ(retry.afterFailure(MailboxFailure::Transient, "reset"), RetryStep::GiveUp);
    EXPECT_EQ(clock.waits(), (std::vector<std::chrono::seconds>{2s, 4s, 8s, 16s, 32s}));
    EXPECT_EQ(statusOf(list_), "retrying in 32 s (try 5 of 5): reset");
    // A piece that went through gives the next one every try again.
    retry.succeeded();
    EXPECT_EQ(retry.afterFailure(MailboxFailure::Transient, "reset"), RetryStep::TryAgain);
    EXPECT_EQ(clock.waits().back(), 2s);
}

TEST_F(PieceRetryTest, PermanentFailuresAndTheSettingsLimitAreHonoured) {
    test::FakeRetryClock clock;
    PieceRetry retry(list_, 7);
    EXPECT_EQ(retry.afterFailure(MailboxFailure::Permanent, "552 too big"), RetryStep::GiveUp);
    EXPECT_EQ(retry.afterFailure(MailboxFailure::Spam, "554 spam"), RetryStep::GiveUp);
    EXPECT_EQ(retry.afterFailure(MailboxFailure::None, ""), RetryStep::GiveUp);
    EXPECT_TRUE(clock.waits().empty());

    test::writeFile(home_.path() / "config.ini", "[Generic]\r\nRetryTries=1\r\n");
    PieceRetry once(list_, 7);
    EXPECT_EQ(once.tries(), 1);
    EXPECT_EQ(once.afterFailure(MailboxFailure::Transient, "x"), RetryStep::TryAgain);
    EXPECT_EQ(once.afterFailure(MailboxFailure::Transient, "x"), RetryStep::GiveUp);
}

TEST(ProviderWait, TheAnswersTimeOrAnHour) {
    EXPECT_EQ(providerWait("550 5.4.5 Daily sending quota exceeded, try again in 90 minutes"),
              std::chrono::seconds(5400));
    EXPECT_EQ(providerWait("421 4.7.0 Rate limited, retry after 120 seconds"),
              std::chrono::seconds(120));
    EXPECT_EQ(providerWait("450 4.7.1 Too many messages; try again in 2 hours"),
              std::chrono::seconds(7200));
    EXPECT_EQ(providerWait("550 5.4.5 Daily user sending quota exceeded"), std::chrono::hours(1));
    EXPECT_EQ(providerWait("451 limit in 5.4.5 terms"), std::chrono::hours(1));
}

TEST_F(PieceRetryTest, AProvidersLimitIsWaitedOutWithoutUsingTheTries) {
    test::FakeRetryClock clock;
    PieceRetry retry(list_, 7, 1);
    const std::string answer = "550 5.4.5 Daily sending quota exceeded, try again in 90 minutes";
    EXPECT_EQ(retry.afterFailure(MailboxFailure::Limit, answer), RetryStep::TryAgain);
    EXPECT_EQ(clock.waits(), std::vector<std::chrono::seconds>{5400s});
    const std::time_t at = std::chrono::system_clock::to_time_t(clock.now());
    EXPECT_EQ(statusOf(list_), providerLimitText(at, answer));
    EXPECT_EQ(statusOf(list_).rfind("waiting for the provider's limit, trying again at ", 0), 0u);
    // The one try of the settings is still there.
    EXPECT_EQ(retry.afterFailure(MailboxFailure::Transient, "reset"), RetryStep::TryAgain);
    EXPECT_EQ(retry.afterFailure(MailboxFailure::Transient, "reset"), RetryStep::GiveUp);
    // A limit that never lifts ends the transfer after a day of waits.
    PieceRetry stubborn(list_, 7, 1);
    for (int k = 1; k <= kMaxProviderWaits; ++k)
        ASSERT_EQ(stubborn.afterFailure(MailboxFailure::Limit, "452 4.5.3 rate limit"),
                  RetryStep::TryAgain);
    EXPECT_EQ(stubborn.afterFailure(MailboxFailure::Limit, "452 4.5.3 rate limit"),
              RetryStep::GiveUp);
}

// An exit while a task waits out a provider's limit saves the wait with the
// record; after the next start the resumed task waits for the rest of it, or
// goes on at once when the transfers are paused and resumed.
TEST_F(PieceRetryTest, ALimitWaitSurvivesTheExitAndEndsWithTheTimeOrAResume) {
    test::FakeRetryClock clock;
    clock.block();
    PieceRetry retry(list_, 7);
    auto waiting = std::async(std::launch::async, [&] {
        return retry.afterFailure(
            MailboxFailure::Limit,
            "550 5.4.5 Daily sending quota exceeded, try again in 90 minutes");
    });
    ASSERT_TRUE(clock.waitForWaiter());
    const long long until = std::chrono::system_clock::to_time_t(clock.now()) + 5400;
    ASSERT_EQ(list_.tasks().at(0).waitUntil, until);
    // The exit saves the records, then the process ends.
    ASSERT_TRUE(saveRemainingTasks(IniSettings(), list_.tasks(), true));
    ASSERT_TRUE(list_.cancelTask("u", "a.bin"));
    ASSERT_EQ(waiting.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), RetryStep::Cancelled);
    clock.release();

    // The next run: the record comes back with its wait.
    std::vector<TransferTask> taken = takeRemainingTasks(IniSettings(), "u");
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].waitUntil, until);
    EXPECT_TRUE(takeRemainingTasks(IniSettings(), "u").empty());
    TaskList next;
    next.addTask(taken[0]);
    clock.advance(600s);  // ten minutes went by while nothing ran
    EXPECT_TRUE(waitOutSavedLimit(next, taken[0]));
    EXPECT_EQ(clock.waits().back(), 4800s);
    EXPECT_EQ(next.tasks().at(0).waitUntil, 0);

    // Another saved wait, paused and resumed: it ends at once, the clock
    // never got there.
    TransferTask later = taken[0];
    later.waitUntil = until + 3600;
    clock.block();
    auto early = std::async(std::launch::async, [&] { return waitOutSavedLimit(next, later); });
    ASSERT_TRUE(clock.waitForWaiter());
    EXPECT_EQ(statusOf(next), providerLimitText(static_cast<std::time_t>(later.waitUntil), ""));
    pauseTransfers();
    ASSERT_TRUE(waitUntil([&] { return statusOf(next) == kPausedSpeedText; }));
    resumeTransfers();
    ASSERT_EQ(early.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(early.get());
    clock.release();
}

TEST_F(PieceRetryTest, ACancelEndsTheRealWaitAtOnce) {
    // The real clock: a wait of about two seconds that the cancel cuts short.
    PieceRetry retry(list_, 7, 5);
    auto waiting = std::async(std::launch::async,
                              [&] { return retry.afterFailure(MailboxFailure::Transient, "r"); });
    ASSERT_TRUE(waitUntil([&] { return statusOf(list_).rfind("retrying in ", 0) == 0; }));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(list_.cancelTask("u", "a.bin"));
    ASSERT_EQ(waiting.wait_for(900ms), std::future_status::ready);
    EXPECT_EQ(waiting.get(), RetryStep::Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 900ms);
}

// Another piece of the file failed for good while this one waits out a
// provider's limit or a pause: the wait ends at once and the piece gives up,
// so the transfer reports its failure without waiting an hour for nothing.
TEST_F(PieceRetryTest, AWaitEndsAtOnceWhenThePieceIsNoLongerWanted) {
    test::FakeRetryClock clock;
    clock.block();
    std::atomic<bool> abandoned{false};
    PieceRetry retry(list_, 7, 5);
    for (const MailboxFailure kind : {MailboxFailure::Limit, MailboxFailure::Transient}) {
        abandoned = false;
        auto waiting = std::async(std::launch::async, [&] {
            return retry.afterFailure(kind, "452 4.5.3 rate limit",
                                      [&] { return abandoned.load(); });
        });
        ASSERT_TRUE(clock.waitForWaiter());
        EXPECT_NE(waiting.wait_for(50ms), std::future_status::ready);
        abandoned = true;
        ASSERT_EQ(waiting.wait_for(10s), std::future_status::ready);
        EXPECT_EQ(waiting.get(), RetryStep::GiveUp);
    }
    clock.release();
}

TEST_F(PieceRetryTest, APauseDuringTheWaitWaitsAsPausedThenTriesAgain) {
    test::FakeRetryClock clock;
    clock.block();
    PieceRetry retry(list_, 7);
    auto waiting = std::async(std::launch::async,
                              [&] { return retry.afterFailure(MailboxFailure::Transient, "r"); });
    ASSERT_TRUE(clock.waitForWaiter());
    pauseTransfers();
    ASSERT_TRUE(waitUntil([&] { return statusOf(list_) == kPausedSpeedText; }));
    EXPECT_NE(waiting.wait_for(0s), std::future_status::ready);
    resumeTransfers();
    ASSERT_EQ(waiting.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), RetryStep::TryAgain);
    clock.release();
}

}  // namespace
}  // namespace parvola
