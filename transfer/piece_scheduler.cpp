#include "transfer/piece_scheduler.h"

#include <algorithm>
#include <thread>

namespace parvola {

PieceScheduler::PieceScheduler(int first, int last, int connections)
    : first_(first),
      last_(std::max(last, first - 1)),
      slots_(std::max(1, std::min(connections, last_ - first_ + 1))),
      nextToHand_(first),
      nextUndone_(first),
      done_(static_cast<size_t>(last_ - first_ + 1), false),
      retired_(static_cast<size_t>(slots_), false) {}

bool PieceScheduler::stopRequested() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return stopped_;
}

void PieceScheduler::holdOthers(bool on) {
    std::lock_guard<std::mutex> guard(mutex_);
    holders_ += on ? 1 : -1;
    if (holders_ == 0)
        released_.notify_all();
}

int PieceScheduler::nextUndone() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return nextUndone_;
}

int PieceScheduler::take() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        if (stopped_)
            return 0;
        const bool pieceLeft = !returned_.empty() || nextToHand_ <= last_;
        // Nothing left to hand out, and no piece under way that could come back.
        if (!pieceLeft && busy_ == 0)
            return 0;
        if (pieceLeft && holders_ == 0) {
            ++busy_;
            if (returned_.empty())
                return nextToHand_++;
            const auto lowest = std::min_element(returned_.begin(), returned_.end());
            const int index = *lowest;
            returned_.erase(lowest);
            return index;
        }
        released_.wait(lock);
    }
}

bool PieceScheduler::handBack(int index, int slot) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (running_ <= 1 || stopped_)
        return false;
    returned_.push_back(index);
    retired_[static_cast<size_t>(slot)] = true;
    --running_;
    released_.notify_all();
    return true;
}

void PieceScheduler::finish(int index, int slot, bool ok, const Done& done) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!ok) {
        stopped_ = true;
        released_.notify_all();
        return;
    }
    done_[static_cast<size_t>(index - first_)] = true;
    ++doneCount_;
    while (nextUndone_ <= last_ && done_[static_cast<size_t>(nextUndone_ - first_)])
        ++nextUndone_;
    // Under the lock, so that the records see the pieces done in the order
    // they were counted.
    if (done)
        done(index, slot, nextUndone_, doneCount_);
}

void PieceScheduler::runSlot(int slot, const Work& work, const Done& done) {
    for (int index = take(); index != 0; index = take()) {
        const bool ok = work(index, slot);
        bool retired = false;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            --busy_;
            retired = retired_[static_cast<size_t>(slot)];
            released_.notify_all();
        }
        if (retired)
            return;  // its piece went back; running_ already counts it out
        finish(index, slot, ok, done);
    }
    std::lock_guard<std::mutex> guard(mutex_);
    --running_;
}

bool PieceScheduler::run(const Work& work, const Done& done) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        running_ = slots_;
    }
    std::vector<std::thread> others;
    others.reserve(static_cast<size_t>(slots_ - 1));
    for (int slot = 1; slot < slots_; ++slot)
        others.emplace_back([this, slot, &work, &done] { runSlot(slot, work, done); });
    runSlot(0, work, done);
    for (std::thread& other : others)
        other.join();
    std::lock_guard<std::mutex> guard(mutex_);
    return !stopped_ && nextUndone_ > last_;
}

}  // namespace parvola
