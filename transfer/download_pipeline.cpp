#include "transfer/download_pipeline.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "app/ini_settings.h"
#include "mail/mailbox_failure.h"
#include "platform/private_files.h"
#include "transfer/combined_progress.h"
#include "transfer/piece_encryption.h"
#include "transfer/piece_plan.h"
#include "transfer/piece_retry.h"
#include "transfer/piece_scheduler.h"
#include "transfer/piece_search.h"
#include "transfer/piece_subject.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;

// A file descriptor closed when it goes out of scope.
class UniqueFd {
  public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    bool valid() const { return fd_ >= 0; }
    int get() const { return fd_; }

  private:
    int fd_;
};

// Pieces are appended through a buffer of this size, never read whole.
constexpr size_t kCopyBlock = 1 << 20;
// How far the series "name (n).ext" is tried before the download gives up.
constexpr int kMaxSeriesNumber = 9999;

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// A name read from the mailbox or the catalog becomes a file in the save
// folder: it must stay a plain name there.
bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// "name (n).ext": the number goes before the last "." (a leading "." starts
// a name, not an extension).
std::string seriesName(const std::string& name, int number) {
    const std::string mark = " (" + std::to_string(number) + ")";
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return name + mark;
    return name.substr(0, dot) + mark + name.substr(dot);
}

enum class Append { Done, DiskFull, Failed };

// Writes the piece file into the output at `offset` (where the piece belongs
// in the file, whichever piece arrived first); DiskFull when the save
// folder's disk (or the user's quota there) is full.
Append writePieceAt(const std::string& piecePath, const std::string& outputPath, off_t offset) {
    const UniqueFd piece(::open(piecePath.c_str(), O_RDONLY | O_CLOEXEC));
    const UniqueFd output(::open(outputPath.c_str(), O_WRONLY | O_CLOEXEC));
    if (!piece.valid() || !output.valid())
        return Append::Failed;
    std::vector<char> buffer(kCopyBlock);
    while (true) {
        const ssize_t got = ::read(piece.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Append::Failed;
        if (got == 0)
            return Append::Done;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::pwrite(output.get(), buffer.data() + done,
                                         static_cast<size_t>(got - done), offset);
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                return (errno == ENOSPC || errno == EDQUOT) ? Append::DiskFull : Append::Failed;
            done += put;
            offset += put;
        }
    }
}

// The one file a piece's retrieval wrote into the (emptied) piece folder: "i"
// for a piece of a many-piece file, the file's own (made safe) name for a
// one-piece file.
std::string savedPieceFile(const std::string& folder) {
    std::error_code error;
    std::string found;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (!it->is_regular_file(error))
            continue;
        if (!found.empty())
            return {};  // more than one: not what one piece mail carries
        found = it->path().string();
    }
    return found;
}

void emptyFolder(const std::string& folder) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        fs::remove_all(it->path(), error);
}

// Gives the complete ".part" file its final name: the first free name of
// the series, taken without ever replacing a file that appeared meanwhile.
bool placeFinished(const std::string& partPath, const std::string& folder, const std::string& name,
                   std::string& savedPath) {
    for (int number = 0; number <= kMaxSeriesNumber; ++number) {
        const std::string target = joinPath(folder, number == 0 ? name : seriesName(name, number));
        if (renameat2(AT_FDCWD, partPath.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) ==
            0) {
            savedPath = target;
            return true;
        }
        if (errno == EEXIST)
            continue;
        if (errno != EINVAL && errno != ENOSYS)
            return false;
        // A file system without the no-replace rename: look, then rename.
        std::error_code error;
        if (fs::exists(target, error) || error)
            continue;
        fs::rename(partPath, target, error);
        if (error)
            return false;
        savedPath = target;
        return true;
    }
    return false;
}

// What one connection of a download keeps from piece to piece: its own
// mailbox session, its retries, the folder its pieces arrive in and the sink
// its transport reports to.
struct DownloadConnection {
    DownloadConnection(const MailboxAccount& account, TaskList& list, int fileId)
        : session(account), retry(list, fileId) {}
    PieceSession session;
    PieceRetry retry;
    std::string folder;
    ProgressSink* sink = nullptr;
};

class DownloadRun {
  public:
    DownloadRun(TaskList& list, const MailboxAccount& account, const TransferTask& task,
                const PieceSubject& stored)
        : list_(list),
          account_(account),
          task_(task),
          stored_(stored),
          partPath_(partialDownloadPath(task.localPath,
                                        savedFileName(task.user, task.fileName, stored.fileName))) {
        connections_.push_back(std::make_unique<DownloadConnection>(account, list, task.fileId));
    }

    // Fetches pieces first..count, appending each to the ".part" file, then
    // names the finished file. A failed piece tells more in `failure`
    // (when given): the piece whose mail is gone, what the mailbox met.
    DownloadOutcome run(int first, std::string& savedPath, DownloadFailure* failure = nullptr);
    // Ends the task as the user's cancel does.
    DownloadOutcome cancel() { return end(DownloadOutcome::Cancelled); }
    // Ends the task without touching the save folder (nothing of ours there).
    DownloadOutcome abandon() {
        list_.removeTask(task_);
        return DownloadOutcome::Failed;
    }
    const std::string& partPath() const { return partPath_; }

  private:
    // Fetches piece `index` over connection `connection` and writes it into
    // the ".part" file at its place; the outcome that ends the download when
    // it did not arrive, and the fetch's result in `result`.
    std::optional<DownloadOutcome> fetchPiece(int index, int slot, DownloadConnection& connection,
                                              PieceScheduler* scheduler, int& result);

    DownloadOutcome end(DownloadOutcome outcome) {
        for (auto& connection : connections_)
            connection->session.close();
        std::error_code error;
        fs::remove(partPath_, error);
        removePieceFolder(stored_.fileName, stored_.fileId, PieceFolderRemoval::WithContents);
        list_.removeTask(task_);
        return outcome;
    }

    TaskList& list_;
    const MailboxAccount& account_;
    TransferTask task_;
    PieceSubject stored_;
    // The pieces of each connection come through one mailbox session of its
    // own, which reads each header once.
    std::vector<std::unique_ptr<DownloadConnection>> connections_;
    std::string partPath_;
};

std::optional<DownloadOutcome> DownloadRun::fetchPiece(int index, int slot,
                                                       DownloadConnection& connection,
                                                       PieceScheduler* scheduler, int& result) {
    if (!list_.waitWhilePaused(task_.fileId))
        return DownloadOutcome::Cancelled;
    PieceSubject wanted = stored_;
    wanted.pieceIndex = index;
    result = 0;
    const auto offset = static_cast<off_t>(static_cast<long long>(index - 1) * task_.pieceSize);
    // An encrypted account's piece is opened while it arrives, straight into
    // its place in the ".part" file; a plain one arrives in the piece folder.
    std::optional<OpenedPieceWriter> opened;
    if (fileSealed(task_.user, task_.fileName, stored_.fileName))
        opened.emplace(task_.user, stored_, index, partPath_, offset);
    // A read that broke off for a passing reason is tried again in a new
    // session after the retry's pause, into an emptied piece folder.
    for (bool again = true; again;) {
        again = false;
        emptyFolder(connection.folder);
        result = opened ? connection.session.fetchInto(formatSubject(wanted), *opened, task_.fileId,
                                                       connection.sink)
                        : connection.session.fetch(formatSubject(wanted), connection.folder,
                                                   task_.fileId, connection.sink);
        if (result == kTransferCancelledCode || list_.isCancelled(task_.fileId))
            return DownloadOutcome::Cancelled;
        if (result == 0) {
            connection.retry.succeeded();
            break;
        }
        // What the opening met is no passing fault: reading again gives the same.
        if (opened && opened->outcome() == PieceOpening::Altered)
            return DownloadOutcome::PieceAltered;
        if (opened && opened->outcome() == PieceOpening::DiskFull)
            return DownloadOutcome::SaveFolderFull;
        // A server that takes one session at a time (a POP3 maildrop lock)
        // or only so many: this connection gives its piece to the others.
        if (scheduler != nullptr && result != kPieceAlteredCode && result != kPieceMissingCode &&
            meansNoFurtherSession(connection.session.failureText()) &&
            scheduler->handBack(index, slot)) {
            connection.session.close();
            return std::nullopt;
        }
        // The provider's limit is the account's: the other connections start
        // nothing new while this one waits it out.
        const MailboxFailure kind = connection.session.failureKind();
        const bool limit = scheduler != nullptr && kind == MailboxFailure::Limit;
        if (limit)
            scheduler->holdOthers(true);
        // Once another piece failed for good, this one is no longer wanted.
        const RetryStep step = connection.retry.afterFailure(
            kind, connection.session.failureText(),
            [scheduler] { return scheduler != nullptr && scheduler->stopRequested(); });
        if (limit)
            scheduler->holdOthers(false);
        switch (step) {
            case RetryStep::TryAgain:
                again = true;
                break;
            case RetryStep::Cancelled:
                return DownloadOutcome::Cancelled;
            case RetryStep::GiveUp:
                break;
        }
    }
    if (result == kPieceAlteredCode)
        return DownloadOutcome::PieceAltered;
    if (result == kPieceMissingCode)
        return DownloadOutcome::PieceMissing;
    if (result != 0)
        return DownloadOutcome::Failed;
    if (opened)
        return opened->outcome() == PieceOpening::Done ? std::nullopt
                                                       : std::optional(DownloadOutcome::Failed);
    const std::string piece = savedPieceFile(connection.folder);
    if (piece.empty())
        return DownloadOutcome::Failed;
    switch (writePieceAt(piece, partPath_, offset)) {
        case Append::Done:
            break;
        case Append::DiskFull:
            return DownloadOutcome::SaveFolderFull;
        case Append::Failed:
            return DownloadOutcome::Failed;
    }
    std::error_code error;
    fs::remove(piece, error);
    return std::nullopt;
}

DownloadOutcome DownloadRun::run(int first, std::string& savedPath, DownloadFailure* failure) {
    const int count = std::max(stored_.pieceCount, 1);
    if (!createPieceFolder(stored_.fileName, stored_.fileId))
        return end(DownloadOutcome::Failed);
    const std::string folder = pieceFolder(stored_.fileName, stored_.fileId);
    PieceScheduler scheduler(first, count, IniSettings().readConnections());
    const int slots = scheduler.slots();
    // One connection reports straight to the list, as a plain loop would.
    std::optional<CombinedProgress> combined;
    if (slots > 1)
        combined.emplace(list_, task_.fileId,
                         task_.fileSize > 0 ? task_.fileSize : count * task_.pieceSize,
                         task_.pieceSize, slots, first);
    while (static_cast<int>(connections_.size()) < slots)
        connections_.push_back(std::make_unique<DownloadConnection>(account_, list_, task_.fileId));
    for (int slot = 0; slot < slots; ++slot) {
        DownloadConnection& connection = *connections_[static_cast<size_t>(slot)];
        connection.sink = combined ? &combined->sink(slot) : static_cast<ProgressSink*>(&list_);
        // A piece folder holds the one piece its connection is reading.
        connection.folder = slots == 1 ? folder : folder + "/" + std::to_string(slot);
        if (slots > 1 && !createPrivateFolders(connection.folder))
            return end(DownloadOutcome::Failed);
    }

    std::mutex endMutex;
    std::optional<DownloadOutcome> ended;  // how the first piece that did not arrive ended
    const auto work = [&](int index, int slot) {
        DownloadConnection& connection = *connections_[static_cast<size_t>(slot)];
        if (combined)
            combined->startPiece(slot, index);
        int result = 0;
        const std::optional<DownloadOutcome> outcome =
            fetchPiece(index, slot, connection, slots > 1 ? &scheduler : nullptr, result);
        if (!outcome)
            return true;
        std::lock_guard<std::mutex> guard(endMutex);
        if (ended)
            return false;
        ended = outcome;
        if (*outcome != DownloadOutcome::Cancelled && result != 0 && failure != nullptr) {
            failure->missingPiece = result == kPieceMissingCode ? index : 0;
            failure->text = connection.session.failureText();
        }
        // The file cannot be completed now: the other pieces stop too.
        if (combined)
            combined->stop();
        return false;
    };
    const auto done = [&](int index, int slot, int nextUndone, int doneCount) {
        if (combined) {
            combined->pieceDone(slot, index, nextUndone);
            return;
        }
        list_.reportPieceDone(task_.fileId, (first - 1 + doneCount) * 100 / count, nextUndone);
    };
    scheduler.run(work, done);
    if (ended)
        return end(*ended);
    // Cancelled as the last piece arrived: nothing is saved.
    if (list_.isCancelled(task_.fileId))
        return end(DownloadOutcome::Cancelled);
    // A piece cut short or a record of another size would give a wrong file.
    std::error_code error;
    const auto size = fs::file_size(partPath_, error);
    if (error || (task_.fileSize > 0 && static_cast<long long>(size) != task_.fileSize))
        return end(DownloadOutcome::Failed);
    if (!placeFinished(partPath_, task_.localPath,
                       savedFileName(task_.user, task_.fileName, stored_.fileName), savedPath))
        return end(DownloadOutcome::Failed);
    const DownloadOutcome saved = end(DownloadOutcome::Saved);
    list_.reportFinished(task_);
    return saved;
}

bool usableSubject(const PieceSubject& subject) {
    return isPlainFileName(subject.fileName) && subject.pieceCount >= 1 && subject.pieceIndex >= 1;
}

}  // namespace

std::string partialDownloadPath(const std::string& saveFolder, const std::string& fileName) {
    return joinPath(saveFolder, fileName + kPartialSuffix);
}

std::string freeDownloadPath(const std::string& saveFolder, const std::string& fileName) {
    std::error_code error;
    std::string path = joinPath(saveFolder, fileName);
    for (int number = 1; number <= kMaxSeriesNumber && fs::exists(path, error); ++number)
        path = joinPath(saveFolder, seriesName(fileName, number));
    return path;
}

DownloadOutcome DownloadFile(const MailboxAccount& account, const std::string& user,
                             const DownloadInputs& inputs, std::string& savedPath, TaskList& list,
                             DownloadFailure* failure) {
    const PieceSubject stored = parseSubject(inputs.storedSubject);
    TransferTask task;
    task.user = user;
    task.direction = TransferDirection::Download;
    task.fileName = inputs.fileName;
    task.localPath = inputs.saveFolder;
    task.fileSize = inputs.fileSize;
    task.catalogFolder = inputs.catalogFolder;
    task.startTime = static_cast<long long>(std::time(nullptr));
    task.pieceSize = stored.pieceLength;
    task.nextPieceIndex = 1;
    task.fileId = stored.fileId;
    task.subject = inputs.storedSubject;
    task.threadId = currentThreadId();
    list.addTask(task);
    list.redraw();

    DownloadRun run(list, account, task, stored);
    if (!usableSubject(stored))
        return run.abandon();
    std::error_code error;
    fs::create_directories(inputs.saveFolder, error);
    std::ofstream part(run.partPath(), std::ios::binary | std::ios::trunc);
    if (!part.is_open())
        return run.abandon();
    part.close();
    return run.run(1, savedPath, failure);
}

DownloadOutcome ResumeDownload(const TransferTask& task, const MailboxAccount& account,
                               std::string& savedPath, TaskList& list) {
    const PieceSubject stored = parseSubject(task.subject);
    DownloadRun run(list, account, task, stored);
    if (!usableSubject(stored) || task.pieceSize <= 0)
        return run.abandon();
    const int first = std::max(task.nextPieceIndex, 1);
    std::error_code error;
    if (first == 1) {
        std::ofstream part(run.partPath(), std::ios::binary | std::ios::trunc);
        if (!part.is_open())
            return run.abandon();
    } else {
        // The pieces before `first` are in the ".part" file; a piece appended
        // after the record was saved is cut off again, since it will be
        // fetched anew. A file that is gone or too short cannot be continued.
        const long long kept = static_cast<long long>(first - 1) * task.pieceSize;
        const auto size = fs::file_size(run.partPath(), error);
        if (error || static_cast<long long>(size) < kept)
            return run.abandon();
        fs::resize_file(run.partPath(), static_cast<std::uintmax_t>(kept), error);
        if (error)
            return run.abandon();
    }
    // Saved while it waited out the provider's limit: the rest of the wait first.
    if (!waitOutSavedLimit(list, task))
        return run.cancel();
    return run.run(first, savedPath);
}

DownloadOutcome ResumeDownload(const TransferTask& task, const MailboxAccount& account,
                               TaskList& list) {
    std::string savedPath;
    return ResumeDownload(task, account, savedPath, list);
}

}  // namespace parvola
