#include "transfer/download_pipeline.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "transfer/piece_plan.h"
#include "transfer/piece_retry.h"
#include "transfer/piece_search.h"
#include "transfer/piece_encryption.h"
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

enum class Append { Done, Altered, DiskFull, Failed };

// Appends the piece file to the output; DiskFull when the save folder's disk
// (or the user's quota there) is full.
Append appendFile(const std::string& piecePath, const std::string& outputPath) {
    const UniqueFd piece(::open(piecePath.c_str(), O_RDONLY | O_CLOEXEC));
    const UniqueFd output(::open(outputPath.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
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
            const ssize_t put =
                ::write(output.get(), buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                return (errno == ENOSPC || errno == EDQUOT) ? Append::DiskFull : Append::Failed;
            done += put;
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

class DownloadRun {
  public:
    DownloadRun(TaskList& list, const MailboxAccount& account, const TransferTask& task,
                const PieceSubject& stored)
        : list_(list),
          task_(task),
          stored_(stored),
          session_(account),
          retry_(list, task.fileId),
          partPath_(partialDownloadPath(
              task.localPath, savedFileName(task.user, task.fileName, stored.fileName))) {}

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
    // An encrypted account's piece, opened while it is appended.
    Append sealedAppend(const std::string& piece, int index) {
        switch (appendOpenedPiece(task_.user, stored_, index, piece, partPath_)) {
            case PieceOpening::Done:
                return Append::Done;
            case PieceOpening::Altered:
                return Append::Altered;
            case PieceOpening::DiskFull:
                return Append::DiskFull;
            case PieceOpening::Failed:
                break;
        }
        return Append::Failed;
    }
    DownloadOutcome end(DownloadOutcome outcome) {
        session_.close();
        std::error_code error;
        fs::remove(partPath_, error);
        removePieceFolder(stored_.fileName, stored_.fileId, PieceFolderRemoval::WithContents);
        list_.removeTask(task_);
        return outcome;
    }

    TaskList& list_;
    TransferTask task_;
    PieceSubject stored_;
    // All pieces come through one POP3 session, which reads each header once.
    PieceSession session_;
    PieceRetry retry_;
    std::string partPath_;
};

DownloadOutcome DownloadRun::run(int first, std::string& savedPath, DownloadFailure* failure) {
    const int count = std::max(stored_.pieceCount, 1);
    if (!createPieceFolder(stored_.fileName, stored_.fileId))
        return end(DownloadOutcome::Failed);
    const std::string folder = pieceFolder(stored_.fileName, stored_.fileId);
    for (int index = first; index <= count; ++index) {
        if (!list_.waitWhilePaused(task_.fileId))
            return end(DownloadOutcome::Cancelled);
        PieceSubject wanted = stored_;
        wanted.pieceIndex = index;
        int result = 0;
        // A read that broke off for a passing reason is tried again in a new
        // session after the retry's pause, into an emptied piece folder.
        for (bool again = true; again;) {
            again = false;
            emptyFolder(folder);
            result = session_.fetch(formatSubject(wanted), folder, task_.fileId, &list_);
            if (result == kTransferCancelledCode || list_.isCancelled(task_.fileId))
                return end(DownloadOutcome::Cancelled);
            if (result == 0) {
                retry_.succeeded();
                break;
            }
            switch (retry_.afterFailure(session_.failureKind(), session_.failureText())) {
                case RetryStep::TryAgain:
                    again = true;
                    break;
                case RetryStep::Cancelled:
                    return end(DownloadOutcome::Cancelled);
                case RetryStep::GiveUp:
                    break;
            }
        }
        if (result != 0 && failure != nullptr) {
            failure->missingPiece = result == kPieceMissingCode ? index : 0;
            failure->text = session_.failureText();
        }
        if (result == kPieceAlteredCode)
            return end(DownloadOutcome::PieceAltered);
        if (result == kPieceMissingCode)
            return end(DownloadOutcome::PieceMissing);
        if (result != 0)
            return end(DownloadOutcome::Failed);
        const std::string piece = savedPieceFile(folder);
        if (piece.empty())
            return end(DownloadOutcome::Failed);
        const bool sealed = piecesSealed(task_.user);
        switch (sealed ? sealedAppend(piece, index) : appendFile(piece, partPath_)) {
            case Append::Done:
                break;
            case Append::Altered:
                return end(DownloadOutcome::PieceAltered);
            case Append::DiskFull:
                return end(DownloadOutcome::SaveFolderFull);
            case Append::Failed:
                return end(DownloadOutcome::Failed);
        }
        std::error_code error;
        fs::remove(piece, error);
        list_.reportPieceDone(task_.fileId, index * 100 / count, index + 1);
    }
    // A piece cut short or a record of another size would give a wrong file.
    std::error_code error;
    const auto size = fs::file_size(partPath_, error);
    if (error || (task_.fileSize > 0 && static_cast<long long>(size) != task_.fileSize))
        return end(DownloadOutcome::Failed);
    if (!placeFinished(partPath_, task_.localPath,
                       savedFileName(task_.user, task_.fileName, stored_.fileName), savedPath))
        return end(DownloadOutcome::Failed);
    const DownloadOutcome done = end(DownloadOutcome::Saved);
    list_.reportFinished(task_);
    return done;
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
