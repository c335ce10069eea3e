#include "transfer/task_list.h"

#include <algorithm>
#include <random>

#include "platform/named_lock.h"
#include "transfer/pause_state.h"

namespace parvola {

// --- FileIdLease -----------------------------------------------------------

FileIdLease::~FileIdLease() {
    release();
}

FileIdLease::FileIdLease(FileIdLease&& other) noexcept : list_(other.list_), id_(other.id_) {
    other.list_ = nullptr;
    other.id_ = -1;
}

FileIdLease& FileIdLease::operator=(FileIdLease&& other) noexcept {
    if (this != &other) {
        release();
        list_ = other.list_;
        id_ = other.id_;
        other.list_ = nullptr;
        other.id_ = -1;
    }
    return *this;
}

void FileIdLease::release() {
    if (list_ != nullptr && id_ >= 0)
        list_->releaseFileId(id_);
    list_ = nullptr;
    id_ = -1;
}

// --- TaskList --------------------------------------------------------------

int TaskList::rowOf(size_t index) const {
    if (entries_[index].task.cancelled)
        return -1;
    int row = 0;
    for (size_t i = 0; i < index; ++i)
        if (!entries_[i].task.cancelled)
            ++row;
    return row;
}

int TaskList::findFirst(int fileId) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].task.fileId == fileId)
            return static_cast<int>(i);
    return -1;
}

// The entry a progress report is about, under the list's lock; null when
// there is none, or when it was cancelled: a cancelled entry leaves the list
// at its worker's next report.
TaskList::Entry* TaskList::runningEntry(int fileId, size_t& index) {
    const int found = findFirst(fileId);
    if (found < 0)
        return nullptr;
    index = static_cast<size_t>(found);
    if (entries_[index].task.cancelled) {
        removeEntry(index);
        return nullptr;
    }
    return &entries_[index];
}

void TaskList::removeEntry(size_t index) {
    const int row = rowOf(index);
    entries_.erase(entries_.begin() + static_cast<long>(index));
    if (row >= 0)
        for (auto* listener : listeners_)
            listener->rowRemoved(row);
}

void TaskList::addTask(const TransferTask& task) {
    RoleGuard guard(LockRole::Tasks);
    {
        std::lock_guard<std::mutex> cancelled(cancelledMutex_);
        cancelledIds_.erase(task.fileId);
    }
    entries_.push_back(Entry{task, redrawRowTexts(task)});
    const int row = rowOf(entries_.size() - 1);
    if (row >= 0)
        for (auto* listener : listeners_)
            listener->rowAdded(row, entries_.back().row);
}

int TaskList::removeTask(const TransferTask& task) {
    RoleGuard guard(LockRole::Tasks);
    int removed = 0;
    for (size_t i = entries_.size(); i-- > 0;) {
        const TransferTask& t = entries_[i].task;
        if (t.user == task.user && t.fileName == task.fileName && t.startTime == task.startTime) {
            removeEntry(i);
            ++removed;
        }
    }
    return removed;
}

void TaskList::reportPieceDone(int fileId, int percent, int nextPieceIndex) {
    RoleGuard guard(LockRole::Tasks);
    const int index = findFirst(fileId);
    if (index < 0)
        return;
    Entry& entry = entries_[static_cast<size_t>(index)];
    entry.task.progress = static_cast<float>(percent);
    entry.task.nextPieceIndex = nextPieceIndex;
    entry.row.progress = liveProgressText(entry.task.progress);
    const int row = rowOf(static_cast<size_t>(index));
    if (row >= 0)
        for (auto* listener : listeners_)
            listener->progressTextChanged(row, entry.row.progress);
}

void TaskList::reportSpeed(int fileId, float piecePercent, long bytesPerSecond, bool finished) {
    RoleGuard guard(LockRole::Tasks);
    size_t index = 0;
    Entry* const running = runningEntry(fileId, index);
    if (running == nullptr)
        return;
    Entry& entry = *running;
    // A record without a computable piece count counts as one piece.
    const long long count = std::max<long long>(entry.task.pieceCount(), 1);
    const long long whole = (static_cast<long long>(entry.task.nextPieceIndex) * 100 - 100) / count;
    entry.task.progress = static_cast<float>(whole) + piecePercent / static_cast<float>(count);
    entry.task.speed = bytesPerSecond;
    if (finished) {
        removeEntry(index);
        return;
    }
    entry.row.progress = liveProgressText(entry.task.progress);
    // The transports know the speed once a whole second has passed; before
    // that the column stays empty rather than saying 0.
    entry.row.speed = entry.waiting        ? std::string(kPausedSpeedText)
                      : bytesPerSecond > 0 ? liveSpeedText(bytesPerSecond)
                                           : std::string();
    const int row = rowOf(index);
    for (auto* listener : listeners_) {
        listener->progressTextChanged(row, entry.row.progress);
        listener->speedTextChanged(row, entry.row.speed);
    }
}

void TaskList::reportCombined(int fileId, float percent, long bytesPerSecond, int nextPieceIndex) {
    RoleGuard guard(LockRole::Tasks);
    size_t index = 0;
    Entry* const running = runningEntry(fileId, index);
    if (running == nullptr)
        return;
    Entry& entry = *running;
    entry.task.progress = std::max(entry.task.progress, std::min(percent, 100.0f));
    if (nextPieceIndex > 0)
        entry.task.nextPieceIndex = nextPieceIndex;
    if (bytesPerSecond > 0)
        entry.task.speed = bytesPerSecond;
    entry.row.progress = liveProgressText(entry.task.progress);
    entry.row.speed = entry.waiting          ? std::string(kPausedSpeedText)
                      : entry.task.speed > 0 ? liveSpeedText(entry.task.speed)
                                             : std::string();
    const int row = rowOf(index);
    for (auto* listener : listeners_) {
        listener->progressTextChanged(row, entry.row.progress);
        listener->speedTextChanged(row, entry.row.speed);
    }
}

void TaskList::redraw() {
    RoleGuard guard(LockRole::Tasks);
    std::vector<TaskRowTexts> rows;
    for (auto& entry : entries_) {
        entry.row = redrawRowTexts(entry.task);
        if (entry.waiting)
            entry.row.speed = kPausedSpeedText;
        if (!entry.task.cancelled)
            rows.push_back(entry.row);
    }
    for (auto* listener : listeners_)
        listener->rowsRebuilt(rows);
}

void TaskList::markCancelled(int fileId) {
    {
        std::lock_guard<std::mutex> cancelled(cancelledMutex_);
        cancelledIds_.insert(fileId);
    }
    // A pipeline waiting out a pause ends now instead of at the resume.
    wakePausedWaiters();
}

bool TaskList::cancelTask(const std::string& user, const std::string& fileName) {
    RoleGuard guard(LockRole::Tasks);
    for (size_t i = 0; i < entries_.size(); ++i) {
        TransferTask& task = entries_[i].task;
        if (task.cancelled || task.user != user || task.fileName != fileName)
            continue;
        const int row = rowOf(i);
        task.cancelled = true;
        for (auto* listener : listeners_)
            listener->rowRemoved(row);
        markCancelled(task.fileId);
        return true;
    }
    return false;
}

bool TaskList::cancelTaskAtRow(int row) {
    RoleGuard guard(LockRole::Tasks);
    if (row < 0)
        return false;
    int shown = 0;
    for (const auto& entry : entries_) {
        if (entry.task.cancelled)
            continue;
        if (shown++ == row)
            return cancelTask(entry.task.user, entry.task.fileName);
    }
    return false;
}

bool TaskList::isCancelled(int fileId) const {
    std::lock_guard<std::mutex> cancelled(cancelledMutex_);
    return cancelledIds_.count(fileId) != 0;
}

bool TaskList::waitWhilePaused(int fileId) {
    // The look at the pause state happens inside the wait's own check, so a
    // pause that comes between two looks is never missed: the wait gives up
    // once to show the row as paused, then waits on.
    bool shown = false;
    for (;;) {
        bool toShow = false;
        const bool running = parvola::waitWhilePaused([&] {
            if (isCancelled(fileId))
                return true;
            toShow = !shown && transferState() == kTransfersPaused;
            return toShow;
        });
        if (toShow && !isCancelled(fileId)) {
            showWaiting(fileId, true);
            shown = true;
            continue;
        }
        if (shown)
            showWaiting(fileId, false);
        return running;
    }
}

void TaskList::showWaiting(int fileId, bool waiting) {
    RoleGuard guard(LockRole::Tasks);
    const int found = findFirst(fileId);
    if (found < 0)
        return;
    const auto index = static_cast<size_t>(found);
    Entry& entry = entries_[index];
    if (entry.waiting == waiting)
        return;
    entry.waiting = waiting;
    // A waiting transfer moves nothing: its last speed would be a lie.
    entry.task.speed = 0;
    entry.row.speed = waiting ? std::string(kPausedSpeedText) : redrawSpeedText(entry.task);
    const int row = rowOf(index);
    if (row >= 0)
        for (auto* listener : listeners_)
            listener->speedTextChanged(row, entry.row.speed);
}

void TaskList::showStatus(int fileId, const std::string& text) {
    RoleGuard guard(LockRole::Tasks);
    const int found = findFirst(fileId);
    if (found < 0)
        return;
    const auto index = static_cast<size_t>(found);
    Entry& entry = entries_[index];
    entry.task.speed = 0;
    entry.row.speed = text;
    const int row = rowOf(index);
    if (row >= 0)
        for (auto* listener : listeners_)
            listener->speedTextChanged(row, entry.row.speed);
}

void TaskList::setWaitUntil(int fileId, long long waitUntil) {
    RoleGuard guard(LockRole::Tasks);
    const int found = findFirst(fileId);
    if (found >= 0)
        entries_[static_cast<size_t>(found)].task.waitUntil = waitUntil;
}

void TaskList::reportFinished(const TransferTask& task) {
    RoleGuard guard(LockRole::Tasks);
    const TaskRowTexts row = redrawRowTexts(task);
    for (auto* listener : listeners_)
        listener->transferFinished(row);
}

FileIdLease TaskList::leaseFileId() {
    RoleGuard guard(LockRole::Tasks);
    auto inUse = [this](int id) {
        if (leasedIds_.count(id) != 0)
            return true;
        return std::any_of(entries_.begin(), entries_.end(),
                           [id](const Entry& e) { return e.task.fileId == id; });
    };
    static std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<int> draw(0, kMaxFileId);
    int chosen = -1;
    for (int attempt = 0; attempt < 64 && chosen < 0; ++attempt) {
        const int id = draw(generator);
        if (!inUse(id))
            chosen = id;
    }
    // Almost every id taken: walk from a random start to the first free one.
    const int start = draw(generator);
    for (int step = 0; step <= kMaxFileId && chosen < 0; ++step) {
        const int id = (start + step) % (kMaxFileId + 1);
        if (!inUse(id))
            chosen = id;
    }
    if (chosen < 0)
        return FileIdLease();
    leasedIds_.insert(chosen);
    return FileIdLease(this, chosen);
}

void TaskList::releaseFileId(int id) {
    RoleGuard guard(LockRole::Tasks);
    leasedIds_.erase(id);
}

std::vector<TransferTask> TaskList::tasks() const {
    RoleGuard guard(LockRole::Tasks);
    std::vector<TransferTask> copy;
    copy.reserve(entries_.size());
    for (const auto& entry : entries_)
        copy.push_back(entry.task);
    return copy;
}

std::vector<TaskRowTexts> TaskList::rows() const {
    RoleGuard guard(LockRole::Tasks);
    std::vector<TaskRowTexts> copy;
    for (const auto& entry : entries_)
        if (!entry.task.cancelled)
            copy.push_back(entry.row);
    return copy;
}

size_t TaskList::size() const {
    RoleGuard guard(LockRole::Tasks);
    return entries_.size();
}

bool TaskList::hasRunningTasks() const {
    RoleGuard guard(LockRole::Tasks);
    return std::any_of(entries_.begin(), entries_.end(),
                       [](const Entry& e) { return !e.task.cancelled; });
}

void TaskList::addListener(TaskListListener* listener) {
    RoleGuard guard(LockRole::Tasks);
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void TaskList::removeListener(TaskListListener* listener) {
    RoleGuard guard(LockRole::Tasks);
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void TaskList::clear() {
    RoleGuard guard(LockRole::Tasks);
    entries_.clear();
    leasedIds_.clear();
    {
        std::lock_guard<std::mutex> cancelled(cancelledMutex_);
        cancelledIds_.clear();
    }
    for (auto* listener : listeners_)
        listener->rowsRebuilt({});
}

void TaskList::report(int taskId, float percent, long bytesPerSecond, bool finished) {
    reportSpeed(taskId, percent, bytesPerSecond, finished);
}

bool TaskList::shouldContinue(int taskId) {
    return !isCancelled(taskId);
}

TaskList& taskList() {
    static TaskList list;
    return list;
}

}  // namespace parvola
