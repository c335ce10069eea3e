#include "transfer/upload_pipeline.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "app/ini_settings.h"
#include "catalog/catalog.h"
#include "catalog/item_names.h"
#include "platform/notice_box.h"
#include "platform/private_files.h"
#include "transfer/combined_progress.h"
#include "transfer/pause_state.h"
#include "transfer/piece_encryption.h"
#include "transfer/piece_plan.h"
#include "transfer/piece_retry.h"
#include "transfer/piece_scheduler.h"
#include "transfer/piece_search.h"
#include "transfer/piece_size.h"
#include "transfer/piece_subject.h"
#include "transfer/store_mail.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;

constexpr const char* kReadErrorText = "文件读取错误";
constexpr const char* kEmptyFileText = "文件内容为空";
constexpr const char* kOverQuotaText = "超过空间容量限制,无法上传";
constexpr const char* kSplitFailedText = "分割文件失败";
constexpr const char* kSameNameText = "文件夹中有同名文件,无法上传!";
constexpr const char* kSizeChangedText = "文件大小已改变";

// Pieces are copied through a buffer of this size, so a piece of up to 49 MiB
// never sits in memory whole.
constexpr size_t kCopyBlock = 1 << 20;

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The source file and its size; false when it cannot be read as a file.
bool openSource(const std::string& path, std::ifstream& source, long long& size) {
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        return false;
    source.open(path, std::ios::binary);
    if (!source.is_open())
        return false;
    source.seekg(0, std::ios::end);
    const std::streamoff end = source.tellg();
    source.seekg(0, std::ios::beg);
    if (end < 0 || !source.good())
        return false;
    size = static_cast<long long>(end);
    return true;
}

// Why the file at `path` cannot be read as the source of a store, in the
// system's words; empty when it can.
std::string sourceProblem(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return std::generic_category().message(errno);
    if (!S_ISREG(status.st_mode))
        return std::generic_category().message(S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::generic_category().message(errno);
    ::close(fd);
    return {};
}

// Writes `length` bytes of the source from `offset` into a new piece file. A
// short read (the file shrank since the upload began) is a file error too:
// the piece lengths were fixed by the size at the start.
bool cutPiece(std::ifstream& source, long long offset, long long length,
              const std::string& piecePath) {
    source.clear();
    source.seekg(offset);
    if (!createPrivateFile(piecePath))
        return false;
    std::ofstream piece(piecePath, std::ios::binary | std::ios::trunc);
    if (!source.good() || !piece.is_open())
        return false;
    std::vector<char> buffer(static_cast<size_t>(std::min<long long>(length, kCopyBlock)));
    long long left = length;
    while (left > 0) {
        const auto want = static_cast<std::streamsize>(std::min<long long>(left, kCopyBlock));
        source.read(buffer.data(), want);
        if (source.gcount() != want)
            return false;
        piece.write(buffer.data(), want);
        if (!piece.good())
            return false;
        left -= want;
    }
    piece.close();
    return !piece.fail();
}

// What one connection of an upload keeps from piece to piece: the stream it
// cuts its pieces from, the sink its transport reports to, its retries and
// what its last send met.
struct UploadConnection {
    std::ifstream ownSource;  // connections after the first read through their own
    std::ifstream* source = nullptr;
    ProgressSink* sink = nullptr;
    std::optional<PieceRetry> retry;
    std::string lastReply;  // the server's words when the last send was refused
    std::string lastText;   // what failed at the last send, in words
    MailboxFailure lastKind = MailboxFailure::None;
};

// One upload in progress: the record it shows, where its pieces go, and
// what it has sent so far.
class UploadRun {
  public:
    UploadRun(TaskList& list, const MailboxAccount& account, TransferTask task,
              std::string* failureReply = nullptr, int* removedPieceMails = nullptr,
              std::string* failureText = nullptr)
        : list_(list),
          account_(account),
          task_(std::move(task)),
          failureReply_(failureReply),
          removedPieceMails_(removedPieceMails),
          failureText_(failureText) {}

    // Sends pieces first..count of the source and finishes the upload.
    UploadOutcome sendPieces(std::ifstream& source, long long size, int first);
    // Sends the whole source as the one piece (attachment = the file itself).
    UploadOutcome sendWhole(const std::string& subject);
    // Shows the upload in the list before anything waits or moves, so that
    // an upload queued behind a pause has its row and is saved at exit.
    void addRecord(const std::string& subject);
    // Ends the upload as the user's cancel does.
    UploadOutcome cancel() { return endCancelled(); }
    // Called with a record that is already in the list (a resumed upload:
    // the piece it goes on with may have reached the mailbox before the exit).
    void markAdded() {
        added_ = true;
        resumed_ = true;
    }

  private:
    // Waits before a piece while the transfers are paused; false when the
    // task was cancelled meanwhile.
    bool waitForTurn();
    enum class PieceSend { Sent, Cancelled, Failed, SplitFailed };
    // Sends one piece mail under `subject` carrying `attachment` over
    // `connection`, made anew by `prepare` before every try (false: it could
    // not be made). A try that fails for a passing reason is repeated after
    // the retry's pause; one that meets the provider's limit holds the other
    // connections of `scheduler` (when given) while it waits. With
    // `mayBeThere`, a valid copy already in the mailbox counts as sent.
    PieceSend sendWithRetries(const std::string& subject, const std::string& attachment,
                              const std::function<bool()>& prepare, bool mayBeThere,
                              UploadConnection& connection, PieceScheduler* scheduler);
    int send(const std::string& subject, const std::string& attachment,
             UploadConnection& connection);
    // Tells the caller what the failing send met.
    void passFailure(const UploadConnection& connection);
    bool cancelled() const { return added_ && list_.isCancelled(task_.fileId); }
    UploadOutcome endCancelled();
    UploadOutcome endFailed(UploadOutcome outcome);
    UploadOutcome finish(long long size);
    void removePieces() {
        removePieceFolder(task_.fileName, task_.fileId, PieceFolderRemoval::WithContents);
    }

    TaskList& list_;
    const MailboxAccount& account_;
    TransferTask task_;
    std::string* failureReply_;      // the caller's, may be null
    int* removedPieceMails_;         // the caller's, may be null
    std::string* failureText_;       // the caller's, may be null
    bool added_ = false;             // the record is in the list
    bool resumed_ = false;           // continues a record saved at an exit
    std::atomic<bool> sent_{false};  // at least one piece mail was accepted
    UploadConnection single_;        // the connection of a one-piece file
    bool oneConnection_ = true;      // pieces go one after another
};

bool UploadRun::waitForTurn() {
    return list_.waitWhilePaused(task_.fileId);
}

void UploadRun::addRecord(const std::string& subject) {
    task_.subject = subject;
    task_.nextPieceIndex = 1;
    list_.addTask(task_);
    list_.redraw();
    added_ = true;
}

int UploadRun::send(const std::string& subject, const std::string& attachment,
                    UploadConnection& connection) {
    StoreMail mail;
    mail.subject = subject;
    mail.bodyText = subject;
    mail.attachmentPath = attachment;
    mail.taskId = task_.fileId;
    mail.progress = connection.sink;
    const int result = SendStoreMail(account_, mail, &connection.lastReply, &connection.lastText,
                                     &connection.lastKind);
    // One connection tells after every send; several tell the failing one's
    // words once the upload has ended (passFailure).
    if (oneConnection_)
        passFailure(connection);
    return result;
}

void UploadRun::passFailure(const UploadConnection& connection) {
    if (failureReply_ != nullptr)
        *failureReply_ = connection.lastReply;
    if (failureText_ != nullptr)
        *failureText_ = connection.lastText;
}

UploadRun::PieceSend UploadRun::sendWithRetries(const std::string& subject,
                                                const std::string& attachment,
                                                const std::function<bool()>& prepare,
                                                bool mayBeThere, UploadConnection& connection,
                                                PieceScheduler* scheduler) {
    if (!connection.retry)
        connection.retry.emplace(list_, task_.fileId);
    PieceRetry& retry = *connection.retry;
    for (;;) {
        if (!waitForTurn())
            return PieceSend::Cancelled;
        // A store whose connection broke after the final dot may have been
        // kept by the server: a copy that checks is not sent a second time.
        if (mayBeThere && ValidPieceCopyInMailbox(account_, subject)) {
            sent_ = true;
            retry.succeeded();
            return PieceSend::Sent;
        }
        // Every try is made from the file, never from what a broken try sent.
        if (!prepare())
            return PieceSend::SplitFailed;
        const int result = send(subject, attachment, connection);
        if (result == 0) {
            sent_ = true;
            retry.succeeded();
            return PieceSend::Sent;
        }
        if (result == kTransferCancelledCode || cancelled())
            return PieceSend::Cancelled;
        // No reply at all: the mail may have gone through before the end.
        mayBeThere = mayBeThere || result == -1;
        // The provider's limit is the account's, not this connection's: the
        // others start nothing new until this one is through with it.
        const bool limit = scheduler != nullptr && connection.lastKind == MailboxFailure::Limit;
        if (limit)
            scheduler->holdOthers(true);
        // Once another piece failed for good, this one is no longer wanted.
        const RetryStep step = retry.afterFailure(
            connection.lastKind, connection.lastText,
            [scheduler] { return scheduler != nullptr && scheduler->stopRequested(); });
        if (limit)
            scheduler->holdOthers(false);
        switch (step) {
            case RetryStep::TryAgain:
                continue;
            case RetryStep::Cancelled:
                return PieceSend::Cancelled;
            case RetryStep::GiveUp:
                return PieceSend::Failed;
        }
    }
}

UploadOutcome UploadRun::endCancelled() {
    list_.removeTask(task_);
    // A cancelled file leaves nothing behind: no record, no piece mails.
    const int removed = sent_ ? RemovePieceMails(account_, task_.subject) : 0;
    if (removedPieceMails_ != nullptr)
        *removedPieceMails_ = removed;
    removePieces();
    return UploadOutcome::Cancelled;
}

UploadOutcome UploadRun::endFailed(UploadOutcome outcome) {
    list_.removeTask(task_);
    removePieces();
    return outcome;
}

UploadOutcome UploadRun::finish(long long size) {
    list_.removeTask(task_);
    removePieces();
    if (cancelled())
        return endCancelled();
    Catalog catalog(task_.user);
    const int added =
        catalog.addFileRecord(task_.catalogFolder, task_.fileName, task_.subject, size);
    if (added == 0) {
        list_.reportFinished(task_);
        return UploadOutcome::Stored;
    }
    // The file could not be entered (a file of that name arrived in the folder
    // meanwhile, or the folder is gone): its pieces would only take space.
    RemovePieceMails(account_, task_.subject);
    if (added == kCatalogNameTaken) {
        showNotice(kSameNameText);
        return UploadOutcome::Refused;
    }
    if (added == kCatalogNotSaved) {
        showNotice(kCatalogNotSavedText);
        return UploadOutcome::Refused;
    }
    // The mail went through; what is missing is the folder (renamed or
    // deleted while the pieces went out), and that is what the user hears.
    showNotice(folderGoneText(task_.catalogFolder));
    return UploadOutcome::Refused;
}

UploadOutcome UploadRun::sendPieces(std::ifstream& source, long long size, int first) {
    const long long count = pieceCount(size, task_.pieceSize);
    sent_ = first > 1;
    if (!createPieceFolder(task_.fileName, task_.fileId)) {
        showNotice(kSplitFailedText);
        return endFailed(UploadOutcome::SplitFailed);
    }
    const std::string folder = pieceFolder(task_.fileName, task_.fileId);
    // An encrypted account's pieces go sealed, under the stored subject's token.
    const bool sealed = piecesSealed(account_.loginAddress);
    const PieceSubject stored = parseSubject(task_.subject);
    PieceScheduler scheduler(first, static_cast<int>(count), IniSettings().readConnections());
    const int slots = scheduler.slots();
    oneConnection_ = slots == 1;
    // One connection reports straight to the list, as a plain loop would.
    std::optional<CombinedProgress> combined;
    if (slots > 1)
        combined.emplace(list_, task_.fileId, size, task_.pieceSize, slots, first);
    std::vector<UploadConnection> connections(static_cast<size_t>(slots));
    for (int slot = 0; slot < slots; ++slot) {
        UploadConnection& connection = connections[static_cast<size_t>(slot)];
        connection.sink = combined ? &combined->sink(slot) : static_cast<ProgressSink*>(&list_);
        if (slot == 0) {
            connection.source = &source;
            continue;
        }
        connection.ownSource.open(task_.localPath, std::ios::binary);
        connection.source = &connection.ownSource;
    }

    std::mutex endMutex;
    std::optional<PieceSend> end;  // how the first piece that did not go ended
    int failedSlot = 0;
    const auto work = [&](int index, int slot) {
        UploadConnection& connection = connections[static_cast<size_t>(slot)];
        if (combined)
            combined->startPiece(slot, index);
        const std::string piecePath = pieceFilePath(folder, index);
        const long long length = pieceLength(size, task_.pieceSize, index);
        PieceSubject subject;
        subject.fileName = sealed ? stored.fileName : task_.fileName;
        subject.fileId = task_.fileId;
        subject.time = static_cast<long long>(std::time(nullptr));
        subject.pieceLength = length;
        subject.pieceCount = static_cast<int>(count);
        subject.pieceIndex = index;
        // Piece 1 goes out under the subject the record keeps (the stored
        // subject the catalog will hold), whenever it is sent.
        const std::string text =
            index == 1 && !task_.subject.empty() ? task_.subject : formatSubject(subject);
        // A resumed upload's first pieces may have reached the mailbox before
        // the exit, as many as there were connections then.
        const bool mayBeThere = resumed_ && index < first + slots;
        PieceSend sent = sendWithRetries(
            text, piecePath,
            [&] {
                if (!connection.source->is_open())
                    return false;
                const long long offset = (index - 1) * task_.pieceSize;
                if (sealed)
                    return cutSealedPiece(account_.loginAddress, stored, index, *connection.source,
                                          offset, length, piecePath);
                return cutPiece(*connection.source, offset, length, piecePath);
            },
            mayBeThere, connection, slots > 1 ? &scheduler : nullptr);
        std::error_code error;
        fs::remove(piecePath, error);  // one piece file per connection on disk at a time
        if (sent == PieceSend::Sent && cancelled())
            sent = PieceSend::Cancelled;
        if (sent == PieceSend::Sent)
            return true;
        std::lock_guard<std::mutex> guard(endMutex);
        if (!end) {
            end = sent;
            failedSlot = slot;
            // The file cannot be completed now: the other pieces stop too.
            if (combined)
                combined->stop();
        }
        return false;
    };
    const auto done = [&](int index, int slot, int nextUndone, int doneCount) {
        if (combined) {
            combined->pieceDone(slot, index, nextUndone);
            return;
        }
        const long long finished = first - 1 + doneCount;
        list_.reportPieceDone(task_.fileId, static_cast<int>(finished * 100 / count), nextUndone);
    };
    scheduler.run(work, done);

    if (end && slots > 1)
        passFailure(connections[static_cast<size_t>(failedSlot)]);
    if (!end)
        return finish(size);
    switch (*end) {
        case PieceSend::Sent:
            break;
        case PieceSend::Cancelled:
            return endCancelled();
        case PieceSend::SplitFailed:
            showNotice(kSplitFailedText);
            return endFailed(UploadOutcome::SplitFailed);
        case PieceSend::Failed:
            return endFailed(UploadOutcome::SendFailed);
    }
    return finish(size);
}

UploadOutcome UploadRun::sendWhole(const std::string& subject) {
    single_.sink = &list_;
    switch (sendWithRetries(
        subject, task_.localPath, [] { return true; }, resumed_, single_, nullptr)) {
        case PieceSend::Sent:
            break;
        case PieceSend::Cancelled:
            return endCancelled();
        case PieceSend::SplitFailed:
        case PieceSend::Failed:
            return endFailed(UploadOutcome::SendFailed);
    }
    if (cancelled())
        return endCancelled();
    return finish(task_.fileSize);
}

}  // namespace

std::string storeNameRefusal(const std::string& fileName, const std::string& catalogFolder) {
    switch (fileNameProblem(fileName)) {
        case NameProblem::None:
            break;
        case NameProblem::Semicolon:
            return kSemicolonNameText;
        case NameProblem::Empty:
        case NameProblem::DotName:
        case NameProblem::Separator:
            return std::string("文件名\"") + fileName +
                   "\"无法存储:" + nameProblemText(fileNameProblem(fileName));
    }
    if (catalogFolder.empty())
        return kUserLevelStoreText;
    return {};
}

std::string folderGoneText(const std::string& catalogFolder) {
    return "文件夹\"" + catalogFolder +
           "\"已不存在(可能已被重命名或删除),请重新选择文件夹后再上传!";
}

UploadOutcome UploadFile(const UploadRequest& request, TaskList& list) {
    if (request.failureReply != nullptr)
        request.failureReply->clear();
    const long long pieceSize =
        pieceSizeForSealing(request.account.loginAddress, pieceSizeForAccount(request.account));
    // Held for the whole upload, so no other upload draws the same id even
    // before this one's record is in the list.
    const FileIdLease lease = list.leaseFileId();
    if (!lease.valid())
        return UploadOutcome::Failed;

    if (const std::string refusal =
            storeNameRefusal(baseName(request.localPath), request.catalogFolder);
        !refusal.empty()) {
        showNotice(refusal);
        return UploadOutcome::Refused;
    }
    std::ifstream source;
    long long size = 0;
    if (!openSource(request.localPath, source, size)) {
        showNotice(kReadErrorText);
        return UploadOutcome::Refused;
    }
    if (size == 0) {
        showNotice(kEmptyFileText);
        return UploadOutcome::Refused;
    }

    TransferTask task;
    task.user = request.user;
    task.direction = TransferDirection::Upload;
    task.fileName = baseName(request.localPath);
    task.localPath = request.localPath;
    task.fileSize = size;
    task.catalogFolder = request.catalogFolder;
    task.startTime = static_cast<long long>(std::time(nullptr));
    task.pieceSize = isSinglePiece(size, pieceSize) ? size : pieceSize;
    task.nextPieceIndex = 1;
    task.fileId = lease.id();
    task.threadId = currentThreadId();

    if (!Catalog(request.user).fits(size)) {
        showNotice(kOverQuotaText);
        return UploadOutcome::Refused;
    }

    UploadRun run(list, request.account, task, request.failureReply, request.removedPieceMails,
                  request.failureText);
    // Piece 1's subject names the file in the catalog; the record carries it
    // from the start.
    const bool many = !isSinglePiece(size, pieceSize);
    PieceSubject first;
    if (!subjectFileName(request.account.loginAddress, task.fileName, first.fileName))
        return UploadOutcome::Refused;  // encrypted, and the key not at hand
    first.fileId = task.fileId;
    first.time = static_cast<long long>(std::time(nullptr));
    first.pieceLength = many ? pieceLength(size, pieceSize, 1) : size;
    if (many)
        first.pieceCount = static_cast<int>(pieceCount(size, pieceSize));
    const std::string subject = formatSubject(first);
    run.addRecord(subject);
    if (many || piecesSealed(request.account.loginAddress))
        return run.sendPieces(source, size, 1);
    source.close();
    return run.sendWhole(subject);
}

std::string resumeAbandonedText(const std::string& path, const std::string& reason,
                                int removedMails) {
    std::string text = "文件:" + path + "无法继续上传(" + reason + ")";
    if (removedMails < 0)
        return text + ",已发送的分片邮件未能从邮箱删除,临时文件已清理。";
    return text + ",已从邮箱删除已发送的" + std::to_string(removedMails) +
           "封分片邮件,临时文件已清理。";
}

namespace {

// A saved upload that cannot go on: the pieces it sent leave the mailbox and
// the pieces it cut leave "temp", and the notice says so.
UploadOutcome abandonResume(const TransferTask& task, const MailboxAccount& account, TaskList& list,
                            const std::string& reason) {
    list.removeTask(task);
    const int removed = RemovePieceMails(account, task.subject);
    removePieceFolder(task.fileName, task.fileId, PieceFolderRemoval::WithContents);
    showNotice(resumeAbandonedText(task.localPath, reason, removed));
    return UploadOutcome::Refused;
}

}  // namespace

UploadOutcome ResumeUpload(const TransferTask& task, const MailboxAccount& account,
                           TaskList& list) {
    if (task.pieceSize <= 0) {
        list.removeTask(task);
        return UploadOutcome::Failed;
    }
    std::ifstream source;
    long long size = 0;
    if (!openSource(task.localPath, source, size)) {
        const std::string problem = sourceProblem(task.localPath);
        return abandonResume(task, account, list,
                             problem.empty() ? std::string(kReadErrorText) : problem);
    }
    if (size == 0)
        return abandonResume(task, account, list, kEmptyFileText);
    // Pieces already in the mailbox were cut from the file as it was: a file
    // that changed size would be stored corrupt.
    if (size != task.fileSize)
        return abandonResume(task, account, list, kSizeChangedText);
    UploadRun run(list, account, task);
    run.markAdded();
    // Saved while it waited out the provider's limit: the rest of the wait first.
    if (!waitOutSavedLimit(list, task))
        return run.cancel();
    if (!isSinglePiece(size, task.pieceSize) || piecesSealed(account.loginAddress))
        return run.sendPieces(source, size, std::max(task.nextPieceIndex, 1));
    source.close();
    return run.sendWhole(task.subject);
}

}  // namespace parvola
