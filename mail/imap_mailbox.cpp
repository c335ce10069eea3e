#include "mail/imap_mailbox.h"

#include <algorithm>

#include "mail/failure_text.h"
#include "mail/imap_names.h"
#include "mail/login_secret.h"
#include "mail/mime_attachment_writer.h"
#include "mail/mime_reader_text.h"
#include "mail/piece_digest.h"
#include "mail/progress_sink.h"
#include "mail/smtp_store.h"

namespace parvola {
namespace {

constexpr const char* kSeen = "(\\Seen)";

bool isInbox(const std::string& folder) {
    return folder.size() == 5 && (folder[0] | 0x20) == 'i' && (folder[1] | 0x20) == 'n' &&
           (folder[2] | 0x20) == 'b' && (folder[3] | 0x20) == 'o' && (folder[4] | 0x20) == 'x';
}

}  // namespace

ImapMailbox::ImapMailbox(const MailboxAccount& account) : account_(account) {}

ImapMailbox::~ImapMailbox() = default;

void ImapMailbox::imapFailed(const ImapConnection& imap, const char* step) {
    std::string words = oneLine(imap.lastReply());
    if (words.empty())
        words = socketErrorText(imap.lastError());
    failure_ =
        serverLabel("IMAP", account_.imapHost, account_.imapPort) + ", " + step + ": " + words;
    // A tagged NO or BAD is the server's answer (its response code says
    // whether it passes); anything else is the connection's.
    const std::string& reply = imap.lastReply();
    const auto says = [&reply](const char* status) {
        const std::string word = std::string(status) + " ";
        return reply.rfind(word, 0) == 0 || reply.find(" " + word) != std::string::npos;
    };
    const bool answered = imap.lastError() == kErrorBadReply && (says("NO") || says("BAD"));
    failureKind_ =
        answered ? classifyMailboxAnswer(reply) : classifyConnectionError(imap.lastError(), reply);
}

std::unique_ptr<ImapConnection> ImapMailbox::connect() {
    std::unique_ptr<ImapConnection> connected;
    std::string fetchFailure;
    const SecretAttempt result = loginWithAccountSecret(
        account_,
        [&](const std::string& secret) {
            auto imap = std::make_unique<ImapConnection>();
            imap->setTls(account_.imapTls);
            imap->setBearerToken(account_.bearerToken);
            if (imap->Connect(account_.imapHost, account_.imapPort, account_.mailboxUser, secret)) {
                connected = std::move(imap);
                return SecretAttempt::Done;
            }
            const int code = imap->lastError();
            imapFailed(*imap, imap->refusedPlaintext()      ? "login"
                              : code == kErrorSecureChannel ? "TLS verification"
                              : code == kErrorBadReply && imap->commandsSent() == 0 ? "greeting"
                              : code == kErrorBadReply                              ? "login"
                                                                                    : "connect");
            return imap->loginRefused() ? SecretAttempt::Refused : SecretAttempt::Failed;
        },
        fetchFailure);
    if (result == SecretAttempt::Failed && !fetchFailure.empty()) {
        // No secret to log in with: another try at once gets the same.
        failure_ = serverLabel("IMAP", account_.imapHost, account_.imapPort) + ", " +
                   secretSourceName(account_) + ": " + fetchFailure;
        failureKind_ = MailboxFailure::Permanent;
    }
    return connected;
}

bool ImapMailbox::open() {
    abandon();
    failure_.clear();
    failureKind_ = MailboxFailure::None;
    commands_ = 0;
    auto imap = connect();
    if (!imap)
        return false;
    uint32_t exists = 0;
    if (!imap->Select(account_.mailFolder, !isInbox(account_.mailFolder), uidValidity_, exists)) {
        imapFailed(*imap, "select");
        return false;
    }
    std::vector<uint32_t> uids;
    if (!imap->UidSearch(kSearchCriteria, uids)) {
        imapFailed(*imap, "search");
        return false;
    }
    messages_.assign(uids.size(), Message());
    batch_ = 1;
    belowBatch_ = 0;
    for (size_t i = 0; i < uids.size(); ++i)
        messages_[i].uid = uids[i];
    marked_.clear();
    imap_ = std::move(imap);
    return true;
}

int ImapMailbox::messageCount() const {
    return imap_ ? static_cast<int>(messages_.size()) : -1;
}

bool ImapMailbox::valid(int number) const {
    return imap_ && number >= 1 && static_cast<size_t>(number) <= messages_.size();
}

ImapMailbox::Message* ImapMailbox::byUid(uint32_t uid) {
    const auto it = std::lower_bound(messages_.begin(), messages_.end(), uid,
                                     [](const Message& m, uint32_t u) { return m.uid < u; });
    return it != messages_.end() && it->uid == uid ? &*it : nullptr;
}

bool ImapMailbox::stableIds(std::vector<std::string>& ids) {
    if (!imap_)
        return false;
    ids.clear();
    ids.reserve(messages_.size());
    const std::string prefix = std::to_string(uidValidity_) + "/";
    for (const Message& m : messages_)
        ids.push_back(prefix + std::to_string(m.uid));
    return true;
}

bool ImapMailbox::fetchSizes() {
    for (size_t from = 0; from < messages_.size(); from += kUidsPerCommand) {
        std::vector<uint32_t> chunk;
        for (size_t i = from; i < std::min(messages_.size(), from + kUidsPerCommand); ++i)
            if (!messages_[i].hasSize)
                chunk.push_back(messages_[i].uid);
        if (chunk.empty())
            continue;
        const bool fetched =
            imap_->UidFetch(imapUidSet(chunk), "(UID RFC822.SIZE)", [&](const ImapFetch& fetch) {
                if (!fetch.hasSize)
                    return true;  // an unasked update (flags of another message)
                Message* m = fetch.hasUid ? byUid(fetch.uid) : nullptr;
                if (m == nullptr || fetch.size > UINT32_MAX)
                    return false;
                m->hasSize = true;
                m->size = static_cast<uint32_t>(fetch.size);
                return true;
            });
        if (!fetched) {
            imapFailed(*imap_, "list");
            return false;
        }
    }
    for (const Message& m : messages_) {
        if (!m.hasSize) {
            failure_ = serverLabel("IMAP", account_.imapHost, account_.imapPort) +
                       ", list: the server found UID " + std::to_string(m.uid) +
                       " in its search but gives no such message";
            failureKind_ = MailboxFailure::Permanent;
            return false;
        }
    }
    return true;
}

bool ImapMailbox::messageSize(int number, uint32_t& size) {
    if (!valid(number))
        return false;
    Message& m = messages_[static_cast<size_t>(number) - 1];
    if (!m.hasSize && !fetchSizes())
        return false;
    size = m.size;
    return true;
}

bool ImapMailbox::fetchSubjects(int number) {
    batch_ = number == belowBatch_ ? std::min(batch_ * 2, kSubjectBatch) : 1;
    std::vector<uint32_t> batch;
    int n = number;
    for (; n >= 1 && batch.size() < batch_; --n) {
        const Message& m = messages_[static_cast<size_t>(n) - 1];
        if (!m.hasSubject)
            batch.push_back(m.uid);
    }
    belowBatch_ = n;
    std::reverse(batch.begin(), batch.end());
    const bool fetched = imap_->UidFetch(
        imapUidSet(batch), "(UID RFC822.SIZE BODY.PEEK[HEADER.FIELDS (SUBJECT)])",
        [&](const ImapFetch& fetch) {
            if (!fetch.hasHeader)
                return true;
            Message* m = fetch.hasUid ? byUid(fetch.uid) : nullptr;
            if (m == nullptr || !std::binary_search(batch.begin(), batch.end(), fetch.uid))
                return false;
            // The header field decoded as the POP3 path decodes a TOP header.
            m->subject = MimeMessageText(fetch.header).GetSubject();
            m->hasSubject = true;
            if (fetch.hasSize && fetch.size <= UINT32_MAX) {
                m->hasSize = true;
                m->size = static_cast<uint32_t>(fetch.size);
            }
            return true;
        });
    if (!fetched) {
        imapFailed(*imap_, "read header");
        return false;
    }
    return true;
}

bool ImapMailbox::readSubject(int number, std::string& subject) {
    if (!valid(number))
        return false;
    Message& m = messages_[static_cast<size_t>(number) - 1];
    if (!m.hasSubject && !fetchSubjects(number))
        return false;
    if (!m.hasSubject) {
        failure_ = serverLabel("IMAP", account_.imapHost, account_.imapPort) +
                   ", read header: the server gives no message UID " + std::to_string(m.uid);
        failureKind_ = MailboxFailure::Permanent;
        return false;
    }
    subject = m.subject;
    return true;
}

AttachmentSave ImapMailbox::saveAttachments(int number, const std::string& folder, int taskId,
                                            ProgressSink* sink) {
    try {
        AttachmentWriter writer(folder);
        return fetchInto(number, taskId, sink, writer);
    } catch (...) {
        return AttachmentSave::Failed;  // no memory for the writer: nothing was asked
    }
}

AttachmentSave ImapMailbox::streamAttachment(int number, AttachmentOutput& output, int taskId,
                                             ProgressSink* sink) {
    AttachmentWriter writer(output);
    return fetchInto(number, taskId, sink, writer);
}

AttachmentSave ImapMailbox::fetchInto(int number, int taskId, ProgressSink* sink,
                                      AttachmentWriter& writer) {
    if (!valid(number))
        return AttachmentSave::Failed;
    failure_.clear();
    failureKind_ = MailboxFailure::None;
    const Message& m = messages_[static_cast<size_t>(number) - 1];
    // The size is the whole that progress is measured against (the engine
    // has asked it already; a caller that has not gets it asked here).
    if (!m.hasSize && !fetchSizes())
        return AttachmentSave::Failed;
    imap_->setProgress(sink, taskId);
    int result = -1;
    bool fetched = false;
    std::string refusal;
    try {
        // A fetch that breaks off, or brings another message, takes the
        // files written so far with it: the writer removes them unless
        // finish() puts them in place.
        result = imap_->FetchMessage(m.uid, writer, m.hasSize ? m.size : 0);
        fetched = result == 0;
        if (fetched)
            result = writer.finish(refusal);
    } catch (...) {
        // Out of memory in the reader: the reply is half read.
        imap_->Drop();
        result = -1;
    }
    imap_->setProgress(nullptr, -1);
    if (result == 0)
        return AttachmentSave::Saved;
    if (result == kTransferCancelledCode) {
        imapFailed(*imap_, "retrieve");
        return AttachmentSave::Cancelled;
    }
    if (fetched) {
        failure_ = serverLabel("IMAP", account_.imapHost, account_.imapPort) + ", retrieve: " +
                   (refusal.empty() ? std::string("a file of the mail could not be written")
                                    : oneLine(refusal));
        failureKind_ = MailboxFailure::Permanent;
        return isPieceDigestRefusal(refusal) ? AttachmentSave::Altered : AttachmentSave::Failed;
    }
    imapFailed(*imap_, "retrieve");
    return AttachmentSave::Failed;
}

bool ImapMailbox::markDeleted(int number) {
    if (!valid(number))
        return false;
    marked_.push_back(messages_[static_cast<size_t>(number) - 1].uid);
    return true;
}

bool ImapMailbox::close() {
    if (!imap_)
        return false;
    std::sort(marked_.begin(), marked_.end());
    marked_.erase(std::unique(marked_.begin(), marked_.end()), marked_.end());
    bool done = true;
    for (size_t from = 0; done && from < marked_.size(); from += kUidsPerCommand) {
        const std::vector<uint32_t> chunk(
            marked_.begin() + static_cast<long>(from),
            marked_.begin() + static_cast<long>(std::min(marked_.size(), from + kUidsPerCommand)));
        const std::string set = imapUidSet(chunk);
        done = imap_->UidStoreDeleted(set) && (!imap_->has("UIDPLUS") || imap_->UidExpunge(set));
    }
    if (done && !marked_.empty() && !imap_->has("UIDPLUS")) {
        std::vector<uint32_t> flagged;
        done = imap_->UidSearch("DELETED", flagged);
        if (done && std::includes(marked_.begin(), marked_.end(), flagged.begin(), flagged.end()))
            done = imap_->Expunge();
    }
    if (!done) {
        imapFailed(*imap_, "delete");
        abandon();
        return false;
    }
    const bool confirmed = imap_->Logout();
    commands_ += imap_->commandsSent();
    imap_.reset();
    marked_.clear();
    return confirmed;
}

void ImapMailbox::abandon() {
    if (imap_)
        commands_ += imap_->commandsSent();
    imap_.reset();  // closes the socket without LOGOUT
    marked_.clear();
}

int ImapMailbox::store(const StoreMail& mail, std::string* failureReply) {
    failure_.clear();
    failureKind_ = MailboxFailure::None;
    if (account_.storeRoute == StoreRoute::Smtp)
        return storeOverSmtp(account_, mail, failure_, failureKind_, failureReply);
    // The file is read and encoded while the literal goes out.
    ComposedText text = composeStoreMail(mail, account_.mailboxAddress).composeText();
    auto imap = connect();
    if (!imap) {
        if (failureReply != nullptr)
            *failureReply = failure_;
        return -1;
    }
    imap->setProgress(mail.progress, mail.taskId);
    bool missing = false;
    int result = imap->Append(account_.mailFolder, kSeen, text, &missing);
    if (missing && imap->Create(account_.mailFolder))
        result = imap->Append(account_.mailFolder, kSeen, text);
    if (result != 0 && result != kTransferCancelledCode)
        imapFailed(*imap, "append");
    if (failureReply != nullptr)
        *failureReply = result == 0 ? std::string() : imap->lastReply();
    if (result != kTransferCancelledCode)
        imap->Logout();
    return result;
}

uint64_t ImapMailbox::storeSizeLimit() {
    if (account_.storeRoute == StoreRoute::Smtp)
        return smtpSizeLimit(account_);
    auto imap = connect();
    if (!imap)
        return 0;
    uint64_t limit = imap->appendLimit();
    if (limit == 0 && imap->has("APPENDLIMIT"))
        limit = imap->FolderAppendLimit(account_.mailFolder);
    imap->Logout();
    return limit;
}

}  // namespace parvola
