#include "transfer/transfer_workers.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>

#include "app/process_state.h"
#include "catalog/catalog.h"
#include "catalog/catalog_hooks.h"
#include "mail/mailbox_failure.h"
#include "mail/secret_mask.h"
#include "platform/notice_box.h"
#include "platform/system_hooks.h"
#include "platform/worker_threads.h"
#include "transfer/catalog_sync.h"
#include "transfer/download_pipeline.h"
#include "transfer/piece_search.h"
#include "transfer/piece_subject.h"
#include "transfer/resume_tasks.h"
#include "transfer/shutdown_check.h"
#include "transfer/upload_pipeline.h"

namespace parvola {
namespace {

constexpr const char* kNoPathText = "请输入文件路径";
constexpr const char* kSameNameText = "文件夹中有同名文件,无法上传!";
constexpr const char* kInRecycleBinText =
    "您回收站中有删除该文件的相同文件名，请删除后再上传新文件。";
constexpr const char* kNoSpaceText = "用户空间余额不足!";
constexpr const char* kFilePrefix = "文件:";
constexpr const char* kUploadFailedText = "网络问题,上传失败.请稍后再试!";
constexpr const char* kDownloadFailedText = "网络问题,下载失败.请稍后再试!";
// After the file's name when the server refused a piece in words of its own
// (a message too big, a mailbox over its quota, try later): those words
// follow, so the user learns the cause instead of being told to retry.
constexpr const char* kUploadRefusedText = "上传失败,邮件服务器答复:";
// After the server's words when it refused a piece as spam: no retry helps,
// a smaller piece or another mailbox may.
constexpr const char* kSpamAdviceText =
    "(邮件服务器把分片邮件当作垃圾邮件拒收了:请改用较小的分片大小,或换用其他邮箱账号后再试。)";
// After the file's name when a piece read back differs from what was stored.
constexpr const char* kPieceAlteredText = "读回的内容与存入时不一致,邮箱中的邮件已被改动,下载失败!";
// "文件:<name>的第<i>片(共<n>片)" comes before it when a piece's mail is no
// longer in the mailbox (deleted by hand or by another program): not the
// network's doing, and no retry brings it back.
constexpr const char* kPieceMissingText = "已不在邮箱中,无法下载!";
// After the file's name when the save folder's disk is full.
constexpr const char* kSaveFolderFullText =
    "下载失败:保存位置的磁盘空间不足,请清理磁盘或另选保存位置后再试!";

// True when every level of `path` is a live folder of the catalog (the user
// level "" always is). A folder renamed or deleted since the store's folder
// was chosen is not.
bool liveFolderExists(Catalog& catalog, const std::string& path) {
    std::string parent;
    size_t start = 0;
    while (start < path.size()) {
        const size_t cut = std::min(path.find('\\', start), path.size());
        const std::string name = path.substr(start, cut - start);
        if (catalog.exists(parent, name, "Folder") != CatalogPresence::Live)
            return false;
        parent = path.substr(0, cut);
        start = cut + 1;
    }
    return true;
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The server's refusal as it may be shown: line breaks of a multi-line reply
// become spaces and other control bytes go (a hostile server must not drive
// the terminal), and neither password of the account appears in it, plain or
// in the base64 form AUTH LOGIN sent.
std::string showableReply(std::string reply, const MailboxAccount& account) {
    maskSecret(reply, account.mailboxPassword);
    maskSecret(reply, account.typedPassword);
    std::string shown;
    for (char c : reply) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r')
            continue;
        if (c == '\n' || c == '\t')
            shown += ' ';
        else if (byte >= 0x20 && byte != 0x7f)
            shown += c;
    }
    while (!shown.empty() && shown.back() == ' ')
        shown.pop_back();
    return shown;
}

// The network message with what failed as its details ("SMTP host:port,
// connect: connection refused"), for those who want them.
std::string withFailureDetails(const std::string& text, const std::string& failure,
                               const MailboxAccount& account) {
    return withNoticeDetails(text, showableReply(failure, account));
}

std::string uploadFailureText(const std::string& localPath, const std::string& reply,
                              const std::string& failure, const MailboxAccount& account) {
    const std::string shown = showableReply(reply, account);
    if (shown.empty())
        return withFailureDetails(kFilePrefix + localPath + kUploadFailedText, failure, account);
    std::string text = kFilePrefix + localPath + kUploadRefusedText + shown;
    const int code = reply.size() >= 3 && std::isdigit(static_cast<unsigned char>(reply[0]))
                         ? std::atoi(reply.substr(0, 3).c_str())
                         : 0;
    if (classifySmtpReply(code, reply) == MailboxFailure::Spam)
        text += kSpamAdviceText;
    return text;
}

}  // namespace

std::string checkStoreRequest(const std::string& user, const std::string& catalogFolder,
                              const std::string& localPath) {
    if (localPath.empty())
        return kNoPathText;
    const std::string name = baseName(localPath);
    if (std::string refusal = storeNameRefusal(name, catalogFolder); !refusal.empty())
        return refusal;
    Catalog catalog(user);
    if (!liveFolderExists(catalog, catalogFolder))
        return folderGoneText(catalogFolder);
    switch (catalog.exists(catalogFolder, name, "File")) {
        case CatalogPresence::Live:
            return kSameNameText;
        case CatalogPresence::OnlyDeleted:
            return kInRecycleBinText;
        case CatalogPresence::Absent:
            break;
    }
    return {};
}

std::string checkStoreAllowed(const std::string& user) {
    return Catalog(user).belowQuota() ? std::string() : std::string(kNoSpaceText);
}

UploadOutcome runUploadWorker(const std::string& user, const std::string& localPath,
                              const std::string& catalogFolder, int* removedPieceMails) {
    UploadRequest request;
    request.user = user;
    findLoggedInAccount(user, request.account);
    request.localPath = localPath;
    request.catalogFolder = catalogFolder;
    std::string refusal, failure;
    request.failureReply = &refusal;
    request.failureText = &failure;
    request.removedPieceMails = removedPieceMails;
    const UploadOutcome outcome = UploadFile(request);
    switch (outcome) {
        case UploadOutcome::Stored:
        case UploadOutcome::Refused:    // its message is shown
        case UploadOutcome::Cancelled:  // ended as the user asked
            break;
        case UploadOutcome::SplitFailed:
        case UploadOutcome::SendFailed:
        case UploadOutcome::Failed:
            showNotice(uploadFailureText(localPath, refusal, failure, request.account));
            break;
    }
    runShutdownCheck();
    return outcome;
}

DownloadOutcome runDownloadWorker(const std::string& user, const DownloadInputs& inputs,
                                  std::string* savedPathOut) {
    MailboxAccount account;
    findLoggedInAccount(user, account);
    std::string savedPath;
    DownloadFailure failure;
    const DownloadOutcome outcome =
        DownloadFile(account, user, inputs, savedPath, taskList(), &failure);
    const PieceSubject stored = parseSubject(inputs.storedSubject);
    const std::string file = kFilePrefix + stored.fileName;
    switch (outcome) {
        case DownloadOutcome::Saved:
            if (inputs.openWhenDone)
                shellOpen(savedPath);
            else
                processValues().filesDownloaded.store(true);
            break;
        case DownloadOutcome::Cancelled:
            // Nothing was saved, so there is nothing to remind of.
            break;
        case DownloadOutcome::PieceMissing:
            showNotice(file + "的第" + std::to_string(failure.missingPiece) + "片(共" +
                       std::to_string(stored.pieceCount) + "片)" + kPieceMissingText);
            break;
        case DownloadOutcome::PieceAltered:
            showNotice(file + kPieceAlteredText);
            break;
        case DownloadOutcome::SaveFolderFull:
            // Not the network's doing: the message says what the user can mend.
            showNotice(file + kSaveFolderFullText);
            break;
        case DownloadOutcome::Failed:
            showNotice(withFailureDetails(file + kDownloadFailedText, failure.text, account));
            break;
    }
    if (savedPathOut)
        *savedPathOut = outcome == DownloadOutcome::Saved ? savedPath : std::string();
    SyncCatalog(user, account, SyncMode::Trim);
    runShutdownCheck();
    return outcome;
}

int runRemovalWorker(const std::string& user, const std::string& storedSubject) {
    MailboxAccount account;
    if (findLoggedInAccount(user, account) != 0)
        return -1;
    return RemovePieceMails(account, storedSubject);
}

void startUploadWorker(const std::string& user, const std::string& localPath,
                       const std::string& catalogFolder) {
    startWorker([=] { runUploadWorker(user, localPath, catalogFolder); });
}

void startDownloadWorker(const std::string& user, const DownloadInputs& inputs) {
    startWorker([=] { runDownloadWorker(user, inputs); });
}

void startRemovalWorker(const std::string& user, const std::string& storedSubject) {
    startWorker([=] { runRemovalWorker(user, storedSubject); });
}

void installTransferEngine() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        ResumeHooks hooks;
        hooks.resumeUpload = [](const TransferTask& task, const MailboxAccount& account) {
            return ResumeUpload(task, account) == UploadOutcome::Stored;
        };
        hooks.resumeDownload = [](const TransferTask& task, const MailboxAccount& account) {
            return ResumeDownload(task, account) == DownloadOutcome::Saved;
        };
        setResumeHooks(std::move(hooks));
        CatalogHooks catalog = catalogHooks();
        catalog.startPieceCleanup = [](const std::string& user, const std::string& subject) {
            startRemovalWorker(user, subject);
        };
        setCatalogHooks(std::move(catalog));
        installCatalogMailWorker();
    });
}

}  // namespace parvola
