#pragma once
// Handing the pieces of one file to several connections at once. Providers
// cap the rate of each connection, so a file whose pieces travel side by side
// over N connections moves up to N times as fast as one piece after another.
//
// Pieces are handed out in index order, each to the first connection that is
// free; a connection is a slot (0 to N-1) that runs on a thread of its own,
// slot 0 on the calling thread. With one connection the pieces go one after
// another on the calling thread, exactly as a plain loop would send them.
//
// The first piece that does not succeed stops the hand-out: the pieces under
// way end (their connections are told to stop through stopRequested()), and
// no further piece starts. A connection that meets a provider's limit holds
// the others (holdOthers): they start no new piece until it is through,
// since every connection of the account would meet the same limit.
//
// A connection the server does not let in beside the others (a POP3 server
// may lock the maildrop for one session at a time) hands its piece back and
// ends; the piece goes to the next free connection, and the transfer carries
// on with the connections the server takes.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace parvola {

class PieceScheduler {
  public:
    // Pieces `first` to `last` (1-based, inclusive) over up to `connections`
    // slots (never more than there are pieces).
    PieceScheduler(int first, int last, int connections);
    PieceScheduler(const PieceScheduler&) = delete;
    PieceScheduler& operator=(const PieceScheduler&) = delete;

    // What a piece's work tells the scheduler.
    using Work = std::function<bool(int index, int slot)>;
    // Called once a piece has succeeded, one call at a time, with the slot
    // that carried it, the first piece not yet done (every piece before it
    // is) and how many are done.
    using Done = std::function<void(int index, int slot, int nextUndone, int doneCount)>;

    // Runs `work` for every piece until one answers false; returns once every
    // slot has ended. True when every piece succeeded.
    bool run(const Work& work, const Done& done);

    // The number of slots run() uses.
    int slots() const { return slots_; }
    // True once a piece has failed: work under way should end soon.
    bool stopRequested() const;
    // A slot waits out a provider's limit (on) or is through with it (off);
    // while any slot holds, the others start no new piece.
    void holdOthers(bool on);
    // Called from `work` of piece `index` on `slot`: the piece goes back to
    // be handed out again and the slot ends once its work returns. False (and
    // nothing changes) when no other slot is still running: then this one
    // must carry the piece itself.
    bool handBack(int index, int slot);
    // The first piece not yet done: what a resume record may keep.
    int nextUndone() const;

  private:
    void runSlot(int slot, const Work& work, const Done& done);
    // The next piece for a slot, or 0 when there is none to take.
    int take();
    void finish(int index, int slot, bool ok, const Done& done);

    const int first_;
    const int last_;
    const int slots_;
    mutable std::mutex mutex_;
    std::condition_variable released_;
    int nextToHand_;
    int nextUndone_;
    int doneCount_ = 0;
    int holders_ = 0;
    bool stopped_ = false;
    std::vector<bool> done_;     // by index - first_
    std::vector<int> returned_;  // pieces handed back, handed out again first
    std::vector<bool> retired_;  // by slot: handed its piece back
    int running_ = 0;            // slots still taking pieces
    int busy_ = 0;               // slots with a piece under way
};

}  // namespace parvola
