// Handing pieces to connections: one connection runs them in order on the
// calling thread; with several, the record's next piece is the first gap
// whatever order pieces end in, a failed piece stops the hand-out, and a
// connection that holds the others keeps them from starting a new piece.
#include "transfer/piece_scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace parvola {
namespace {

using namespace std::chrono_literals;

TEST(PieceScheduler, OneConnectionRunsThePiecesInOrderOnTheCallingThread) {
    PieceScheduler scheduler(3, 7, 1);
    EXPECT_EQ(scheduler.slots(), 1);
    const auto caller = std::this_thread::get_id();
    std::vector<int> order, next;
    bool elsewhere = false;
    EXPECT_TRUE(scheduler.run(
        [&](int index, int slot) {
            order.push_back(index);
            elsewhere = elsewhere || slot != 0 || std::this_thread::get_id() != caller;
            return true;
        },
        [&](int, int, int nextUndone, int) { next.push_back(nextUndone); }));
    EXPECT_EQ(order, (std::vector<int>{3, 4, 5, 6, 7}));
    EXPECT_EQ(next, (std::vector<int>{4, 5, 6, 7, 8}));
    EXPECT_FALSE(elsewhere);
    // Never more connections than pieces.
    EXPECT_EQ(PieceScheduler(1, 2, 8).slots(), 2);
}

TEST(PieceScheduler, TheNextPieceIsTheFirstGapWhateverOrderPiecesEnd) {
    PieceScheduler scheduler(1, 4, 4);
    std::mutex mutex;
    std::condition_variable changed;
    int othersDone = 0;
    std::vector<int> next;
    std::set<std::thread::id> threads;
    EXPECT_TRUE(scheduler.run(
        [&](int index, int) {
            std::unique_lock<std::mutex> lock(mutex);
            threads.insert(std::this_thread::get_id());
            // Piece 1 ends last.
            if (index == 1)
                changed.wait_for(lock, 30s, [&] { return othersDone == 3; });
            return true;
        },
        [&](int index, int, int nextUndone, int doneCount) {
            std::lock_guard<std::mutex> guard(mutex);
            next.push_back(nextUndone);
            EXPECT_EQ(doneCount, static_cast<int>(next.size()));
            if (index != 1)
                ++othersDone;
            changed.notify_all();
        }));
    EXPECT_EQ(next, (std::vector<int>{1, 1, 1, 5}));
    EXPECT_GE(threads.size(), 2u);  // piece 1 held one connection, the others ran meanwhile
    EXPECT_EQ(scheduler.nextUndone(), 5);
}

TEST(PieceScheduler, AFailedPieceStopsTheHandOutAndThePiecesUnderWay) {
    PieceScheduler scheduler(1, 100, 4);
    std::atomic<int> started{0};
    std::atomic<int> highest{0};
    std::atomic<bool> toldToStop{true};
    EXPECT_FALSE(scheduler.run(
        [&](int index, int) {
            ++started;
            for (int seen = highest.load();
                 index > seen && !highest.compare_exchange_weak(seen, index);) {
            }
            if (index == 2)
                return false;
            // The others go on until they are told to stop.
            const auto deadline = std::chrono::steady_clock::now() + 30s;
            while (!scheduler.stopRequested() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
            toldToStop = toldToStop && scheduler.stopRequested();
            return true;
        },
        {}));
    EXPECT_TRUE(toldToStop.load());
    EXPECT_LE(started.load(), 4);
    EXPECT_LE(highest.load(), 4);
    EXPECT_LT(scheduler.nextUndone(), 100);
}

TEST(PieceScheduler, AConnectionThatHoldsKeepsTheOthersFromANewPiece) {
    PieceScheduler scheduler(1, 4, 2);
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false;
    bool secondDone = false;
    std::vector<int> startedWhileHeld;
    std::vector<int> order;
    EXPECT_TRUE(scheduler.run(
        [&](int index, int) {
            std::unique_lock<std::mutex> lock(mutex);
            order.push_back(index);
            if (held)
                startedWhileHeld.push_back(index);
            changed.notify_all();
            if (index != 1)
                return true;
            // Piece 1 meets a limit: it holds the other connection, which
            // ends piece 2 and then must not begin piece 3 until released.
            changed.wait_for(lock, 30s, [&] { return order.size() == 2; });
            held = true;
            lock.unlock();
            scheduler.holdOthers(true);
            lock.lock();
            changed.wait_for(lock, 30s, [&] { return secondDone; });
            changed.wait_for(lock, 200ms, [&] { return order.size() > 2; });
            held = false;
            lock.unlock();
            scheduler.holdOthers(false);
            return true;
        },
        [&](int index, int, int, int) {
            std::lock_guard<std::mutex> guard(mutex);
            secondDone = secondDone || index == 2;
            changed.notify_all();
        }));
    EXPECT_TRUE(startedWhileHeld.empty()) << startedWhileHeld.size();
    EXPECT_EQ(order.size(), 4u);
}

// A server that lets one session in: every connection but the one it took
// hands its piece back, and that one carries every piece; the last one
// running cannot hand back, so nothing is stranded.
TEST(PieceScheduler, ConnectionsTheServerRefusesHandTheirPiecesBack) {
    PieceScheduler scheduler(1, 9, 4);
    std::mutex mutex;
    int owner = -1;  // the slot the server let in
    std::vector<int> carried;
    std::multiset<int> tries;
    bool lastCouldHandBack = false;
    EXPECT_TRUE(scheduler.run(
        [&](int index, int slot) {
            std::unique_lock<std::mutex> lock(mutex);
            tries.insert(index);
            if (owner == -1)
                owner = slot;
            if (slot != owner) {
                lock.unlock();
                const bool handed = scheduler.handBack(index, slot);
                lock.lock();
                lastCouldHandBack = lastCouldHandBack || !handed;
                return handed;  // not handed back: counted as failed
            }
            carried.push_back(index);
            return true;
        },
        {}));
    std::sort(carried.begin(), carried.end());
    EXPECT_EQ(carried, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_FALSE(lastCouldHandBack);
    EXPECT_LE(tries.size(), 9u + 3u);  // each refused connection tried once
    EXPECT_EQ(scheduler.nextUndone(), 10);

    // Alone, a connection keeps its piece.
    PieceScheduler alone(1, 1, 4);
    bool handed = true;
    EXPECT_TRUE(alone.run(
        [&](int index, int slot) {
            handed = alone.handBack(index, slot);
            return true;
        },
        {}));
    EXPECT_FALSE(handed);
}

}  // namespace
}  // namespace parvola
