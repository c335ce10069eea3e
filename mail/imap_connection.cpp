#include "mail/imap_connection.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>

#include "mail/base64.h"
#include "mail/idle_receive.h"
#include "mail/imap_names.h"
#include "mail/message_text_sink.h"
#include "mail/plaintext_guard.h"
#include "mail/progress_sink.h"
#include "mail/sasl_oauth.h"
#include "mail/secret_mask.h"

namespace parvola {
namespace {

using Clock = std::chrono::steady_clock;

// Each receive asks for at least this much room, as the POP3 client does.
constexpr size_t kReceiveRoom = 256u << 10;
// A literal goes out in blocks of this size, progress and the cancel
// question after each (about 100 KB, as for the SMTP text).
constexpr size_t kSendBlock = 101u << 10;
// Progress of a fetch goes out at most once per this many receives.
constexpr int kReceivesPerReport = 5;

bool hasLineBreakOrNul(const std::string& value) {
    return value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// "NO [OVERQUOTA] Quota exceeded" on one line, for the user.
std::string statusWords(const ImapStatus& status) {
    std::string words = status.word;
    if (!status.code.empty())
        words += " [" + status.code + (status.codeText.empty() ? "" : " " + status.codeText) + "]";
    if (!status.words.empty())
        words += " " + status.words;
    return words;
}

}  // namespace

struct ImapConnection::ReplyClock {
    Clock::time_point lastActivity = Clock::now();
    int receivesSinceReport = 0;
    uint64_t received = 0;
    bool reports = false;  // a message is being fetched: progress goes out
};

ImapConnection::ImapConnection() : startTime_(std::time(nullptr)) {}

ImapConnection::~ImapConnection() {
    channel_.close();
}

bool ImapConnection::fail(int code, std::string text) {
    if (code != kSocketOk)
        errorCode_ = code;
    maskSecret(text, password_);
    lastReply_ = std::move(text);
    return false;
}

void ImapConnection::Drop() {
    channel_.close();
    connected_ = false;
}

std::string ImapConnection::nextTag() {
    return "A" + std::to_string(++tagCounter_);
}

bool ImapConnection::sendRaw(std::string_view bytes) {
    if (channel_.send(bytes.data(), bytes.size()))
        return true;
    errorCode_ = channel_.lastError();
    lastReply_ = byeText_;
    connected_ = false;
    return false;
}

bool ImapConnection::receiveMore(ReplyClock& clock) {
    const size_t got = receiveWithinIdleLimit(channel_, inbox_, kReceiveRoom, clock.lastActivity,
                                              timeout_, errorCode_);
    if (got == 0)
        return false;
    clock.received += got;
    if (clock.reports && taskId_ != -1 && ++clock.receivesSinceReport > kReceivesPerReport) {
        clock.receivesSinceReport = 0;
        reportProgress(clock.received, expectedSize_);
        if (progressSink_ != nullptr && !progressSink_->shouldContinue(taskId_)) {
            // The rest of the message is not wanted, and the connection
            // cannot be used again with it half read.
            Drop();
            errorCode_ = kTransferCancelledCode;
            return false;
        }
    }
    return true;
}

void ImapConnection::reportProgress(uint64_t done, uint64_t whole) {
    if (progressSink_ == nullptr || whole == 0)
        return;
    const auto elapsed = static_cast<long>(std::time(nullptr) - startTime_);
    const float percent = static_cast<float>(std::min<uint64_t>(done, whole) * 100 / whole);
    const long speed = elapsed > 0 ? static_cast<long>(done / static_cast<uint64_t>(elapsed)) : 0;
    progressSink_->report(taskId_, percent, speed, false);
}

bool ImapConnection::readResponse(ReplyClock& clock) {
    while (true) {
        std::string_view bytes(inbox_.data(), inbox_.size());
        const size_t before = bytes.size();
        const ImapReplyReader::Step step = reader_.feed(bytes);
        inbox_.consume(before - bytes.size());
        if (step == ImapReplyReader::Step::Response)
            return true;
        if (step == ImapReplyReader::Step::Failed) {
            Drop();  // the framing is lost: nothing more can be read
            return fail(kErrorBadReply, reader_.failure());
        }
        if (!receiveMore(clock)) {
            if (errorCode_ == kTransferCancelledCode)
                return fail(kSocketOk, "");
            const int code = errorCode_;
            Drop();  // a reply half read leaves nothing to go on with
            errorCode_ = code;
            std::string why = byeText_;
            if (why.empty() && reader_.literalLeft() > 0)
                why = "the server's reply ended " + std::to_string(reader_.literalLeft()) +
                      " bytes before the end of the literal it announced";
            else if (why.empty() && errorCode_ == kErrorTimedOut && reader_.midResponse())
                why = "the server's reply line did not end";
            return fail(kSocketOk, why);
        }
    }
}

void ImapConnection::noteUntagged(const ImapResponse& response) {
    const std::vector<std::string> listed = parseCapabilities(response.text);
    if (!listed.empty()) {
        capabilities_ = listed;
        capabilitiesNoted_ = true;
        return;
    }
    const ImapStatus status = parseStatus(response.text);
    if (status.word == "BYE")
        byeText_ = "BYE " + status.words;
    const std::vector<std::string> coded = capabilitiesOfStatus(status);
    if (!coded.empty()) {
        capabilities_ = coded;
        capabilitiesNoted_ = true;
    }
}

bool ImapConnection::finish(const std::string& tag, const UntaggedHandler& untagged,
                            bool* continuation) {
    ReplyClock clock;
    clock.reports = expectedSize_ > 0;
    while (true) {
        if (!readResponse(clock))
            return false;
        const ImapResponse& response = reader_.response();
        switch (response.kind) {
            case ImapResponse::Kind::Untagged:
                noteUntagged(response);
                if (untagged)
                    untagged(response);
                continue;
            case ImapResponse::Kind::Continuation:
                if (continuation != nullptr) {
                    *continuation = true;
                    return true;
                }
                Drop();
                return fail(
                    kErrorBadReply,
                    "the server asked for more of a command that was whole: + " + response.text);
            case ImapResponse::Kind::Tagged:
                break;
        }
        if (response.tag != tag) {
            Drop();
            return fail(kErrorBadReply, "the server answered a command it was not sent: " +
                                            response.tag + " " + response.text);
        }
        const ImapStatus status = parseStatus(response.text);
        const std::vector<std::string> coded = capabilitiesOfStatus(status);
        if (!coded.empty()) {
            capabilities_ = coded;
            capabilitiesNoted_ = true;
        }
        if (continuation != nullptr)
            *continuation = false;
        if (status.word == "OK") {
            lastCode_.clear();
            lastReply_ = statusWords(status);
            return true;
        }
        lastCode_ = status.code;
        return fail(kErrorBadReply, status.word.empty() ? response.text : statusWords(status));
    }
}

bool ImapConnection::run(const std::string& command, const UntaggedHandler& untagged) {
    return runWithLiterals({command}, {}, untagged, false);
}

bool ImapConnection::sendLiteralBytes(MessageTextSource& bytes, bool withProgress) {
    const uint64_t total = bytes.size();
    if (total != 0 && !sendBlock_)
        sendBlock_ = std::make_unique_for_overwrite<char[]>(kSendBlock);
    for (uint64_t sent = 0; sent < total;) {
        const size_t length = static_cast<size_t>(std::min<uint64_t>(kSendBlock, total - sent));
        if (readFully(bytes, sendBlock_.get(), length) != static_cast<long>(length)) {
            // The text announced cannot be completed: the literal can only be
            // abandoned with the connection.
            Drop();
            return fail(kErrorBadReply, "the file being stored could not be read");
        }
        if (!sendRaw({sendBlock_.get(), length}))
            return false;
        sent += length;
        // Reported and asked after every block, as the SMTP client does.
        if (withProgress && progressSink_ != nullptr) {
            reportProgress(sent, total);
            if (!progressSink_->shouldContinue(taskId_)) {
                // Half a literal is on the wire: the command cannot be ended
                // any other way than by dropping the connection.
                Drop();
                errorCode_ = kTransferCancelledCode;
                lastReply_.clear();
                return false;
            }
        }
    }
    return true;
}

bool ImapConnection::runWithLiterals(const std::vector<std::string>& texts,
                                     const std::vector<MessageTextSource*>& literals,
                                     const UntaggedHandler& untagged, bool progressOnLiterals) {
    if (!connected_)
        return fail(kErrorNotConnected, "not connected");
    const std::string tag = nextTag();
    const bool nonSync = has("LITERAL+");
    ++commandsSent_;
    // texts[i] is followed by literals[i]; the last text ends the command.
    for (size_t i = 0; i < texts.size(); ++i) {
        std::string line = (i == 0 ? tag + " " : std::string()) + texts[i];
        const bool literalFollows = i < literals.size() && i + 1 < texts.size();
        if (literalFollows)
            line += "{" + std::to_string(literals[i]->size()) + (nonSync ? "+}" : "}");
        line += "\r\n";
        if (!sendRaw(line))
            return false;
        if (!literalFollows)
            return finish(tag, untagged);
        if (!nonSync) {
            bool goAhead = false;
            if (!finish(tag, untagged, &goAhead))
                return false;
            if (!goAhead)  // answered before its literal: not as a refusal
                return fail(kErrorBadReply,
                            "the server ended the command before its literal: " + lastReply_);
        }
        if (!sendLiteralBytes(*literals[i], progressOnLiterals))
            return false;
    }
    return false;
}

bool ImapConnection::secure(const std::string& host) {
    const auto limit = std::min<std::chrono::milliseconds::rep>(timeout_.count(), 1 << 30);
    if (channel_.startTls(host, tls_.caFile, static_cast<int>(limit))) {
        secure_ = true;
        return true;
    }
    const std::string why = channel_.tlsFailure();
    Drop();
    return fail(kErrorSecureChannel, why);
}

bool ImapConnection::refreshCapabilities() {
    return run("CAPABILITY");
}

bool ImapConnection::startTls(const std::string& host) {
    if (!run("STARTTLS")) {
        const std::string reply = lastReply_;
        Drop();
        return fail(kErrorSecureChannel, "IMAP server " + host + " did not start TLS: " + reply);
    }
    // Anything the server sent after its go-ahead came before the
    // handshake: it is not trusted, and a server that sends it is not either.
    if (inbox_.size() != 0) {
        Drop();
        return fail(kErrorSecureChannel,
                    "IMAP server " + host + " sent plain text after agreeing to start TLS");
    }
    capabilities_.clear();
    return secure(host) && refreshCapabilities();
}

bool ImapConnection::sendId() {
    idSent_ = true;
    // A refusal is no reason to stop: the providers that require ID say so
    // at the login.
    const std::string saved = lastReply_;
    run(std::string("ID (\"name\" \"") + kClientName + "\" \"version\" \"" + kClientVersion +
        "\")");
    lastReply_ = saved;
    return connected_;
}

bool ImapConnection::login(const std::string& user, const std::string& password) {
    if (!secure_ && !tls_.plaintextLoginAllowed) {
        refusedPlaintext_ = true;
        Drop();
        return fail(kErrorSecureChannel,
                    "the connection is not secured (the server offers no TLS), and the password "
                    "is not sent in plain text unless plain text is allowed for this account");
    }
    if (bearer_)
        return loginWithToken(user, password);
    if (has("AUTH=PLAIN")) {
        const std::string payload =
            base64Encode(std::string("\0", 1) + user + std::string("\0", 1) + password);
        if (has("SASL-IR"))
            return run("AUTHENTICATE PLAIN " + payload);
        // The payload goes as the answer to the server's go-ahead.
        const std::string tag = nextTag();
        ++commandsSent_;
        bool goAhead = false;
        if (!sendRaw(tag + " AUTHENTICATE PLAIN\r\n") || !finish(tag, nullptr, &goAhead))
            return false;
        if (!goAhead)
            return fail(kErrorBadReply, lastReply_);
        return sendRaw(payload + "\r\n") && finish(tag, nullptr);
    }
    if (has("LOGINDISABLED"))
        return fail(kErrorBadReply, "the server takes no login on this connection (LOGINDISABLED)");
    std::vector<std::string> texts{"LOGIN "};
    std::vector<StringTextSource> values;
    values.reserve(2);  // the pointers below stay valid
    std::vector<MessageTextSource*> literals;
    std::string quoted;
    for (const std::string* value : {&user, &password}) {
        if (imapQuoted(*value, quoted)) {
            texts.back() += quoted;
        } else {
            literals.push_back(&values.emplace_back(*value));
            texts.emplace_back();
        }
        if (value == &user)
            texts.back() += " ";
    }
    return runWithLiterals(texts, literals, nullptr, false);
}

bool ImapConnection::loginWithToken(const std::string& user, const std::string& token) {
    std::vector<std::string> offered;
    for (const std::string& capability : capabilities_)
        if (capability.size() > 5 && strncasecmp(capability.c_str(), "AUTH=", 5) == 0)
            offered.push_back(capability.substr(5));
    const OAuthMechanism mechanism = chooseOAuthMechanism(offered);
    if (mechanism == OAuthMechanism::None)
        return fail(kErrorBadReply,
                    "the IMAP server takes no OAuth 2 token (it offers neither AUTHENTICATE "
                    "OAUTHBEARER nor XOAUTH2)");
    const std::string payload = oauthInitialResponse(mechanism, user, token, host_, port_);
    const std::string command = std::string("AUTHENTICATE ") + oauthMechanismName(mechanism);
    const std::string tag = nextTag();
    ++commandsSent_;
    bool challenged = false;
    if (has("SASL-IR")) {
        if (!sendRaw(tag + " " + command + " " + payload + "\r\n"))
            return false;
    } else {
        if (!sendRaw(tag + " " + command + "\r\n") || !finish(tag, nullptr, &challenged))
            return false;
        if (!challenged)
            return fail(kErrorBadReply, lastReply_);
        if (!sendRaw(payload + "\r\n"))
            return false;
    }
    if (finish(tag, nullptr, &challenged) && !challenged)
        return true;
    if (!challenged) {
        loginRefused_ = errorCode_ == kErrorBadReply && isConnected();
        return false;
    }
    // A challenge after the token holds the server's error document; it is
    // acknowledged and the refusal that follows is what the user sees.
    const std::string why = oauthChallengeText(reader_.response().text);
    if (!sendRaw(std::string(oauthErrorAcknowledgement(mechanism)) + "\r\n"))
        return false;
    if (finish(tag, nullptr, &challenged) && !challenged)
        return true;
    loginRefused_ = !challenged && errorCode_ == kErrorBadReply && isConnected();
    if (!why.empty())
        lastReply_ += " (" + why + ")";
    return false;
}

bool ImapConnection::Connect(const std::string& host, int port, const std::string& user,
                             const std::string& password) {
    host_ = host;
    port_ = port;
    loginRefused_ = false;
    if (hasLineBreakOrNul(user) || hasLineBreakOrNul(password) || user.empty()) {
        errorCode_ = kErrorInvalidArgument;
        lastReply_.clear();
        return false;
    }
    password_ = password;
    if (!channel_.create() || !channel_.connect(host, port)) {
        errorCode_ = channel_.lastError();
        return false;
    }
    if (tls_.mode == TlsMode::Implicit && !secure(host))
        return false;
    connected_ = true;
    // The greeting: OK, PREAUTH (already logged in) or BYE.
    ReplyClock clock;
    if (!readResponse(clock)) {
        Drop();
        return false;
    }
    const ImapResponse& greeting = reader_.response();
    const ImapStatus status = parseStatus(greeting.text);
    if (greeting.kind != ImapResponse::Kind::Untagged ||
        (status.word != "OK" && status.word != "PREAUTH")) {
        Drop();
        return fail(kErrorBadReply, greeting.text);
    }
    capabilities_ = capabilitiesOfStatus(status);
    const bool preauthenticated = status.word == "PREAUTH";
    if (capabilities_.empty() && !refreshCapabilities())
        return false;
    const bool offered = has("STARTTLS");
    if (!secure_ && !preauthenticated &&
        (tls_.mode == TlsMode::StartTls || (tls_.mode == TlsMode::StartTlsIfOffered && offered))) {
        if (!offered) {
            Drop();
            return fail(kErrorSecureChannel,
                        "IMAP server " + host + " does not offer TLS (STARTTLS)");
        }
        if (!startTls(host))
            return false;
    }
    if (has("ID") && !sendId())
        return false;
    capabilitiesNoted_ = false;
    if (!preauthenticated && !login(user, password)) {
        const int code = errorCode_;
        // The guard's refusal in the words POP3 and SMTP use, which the
        // login flow recognises and shows as it is.
        const std::string reply =
            refusedPlaintext_ ? plaintextLoginRefusal("IMAP", host, port) : lastReply_;
        Drop();
        errorCode_ = code;
        lastReply_ = reply;
        return false;
    }
    // The capabilities after a login may differ; a server that did not send
    // them with its OK is asked.
    if (!capabilitiesNoted_ && !refreshCapabilities())
        return false;
    if (!idSent_ && has("ID") && !sendId())
        return false;
    return true;
}

bool ImapConnection::Select(const std::string& folder, bool create, uint32_t& uidValidity,
                            uint32_t& exists) {
    std::string wire, quoted;
    if (!imapMailboxName(folder, wire) || !imapQuoted(wire, quoted)) {
        errorCode_ = kErrorInvalidArgument;
        lastReply_ = "the folder name is not UTF-8 text: " + folder;
        return false;
    }
    uidValidity = 0;
    exists = 0;
    const auto untagged = [&](const ImapResponse& response) {
        const ImapStatus status = parseStatus(response.text);
        if (status.code == "UIDVALIDITY")
            uidValidity = static_cast<uint32_t>(std::strtoul(status.codeText.c_str(), nullptr, 10));
        uint32_t number = 0;
        std::string word;
        if (parseNumbered(response.text, number, word) && word == "EXISTS")
            exists = number;
    };
    if (!run("SELECT " + quoted, untagged)) {
        if (!create || !connected_ || errorCode_ != kErrorBadReply)
            return false;
        // Taken as missing: created, then selected again. When it cannot
        // be created either, the refusal of the SELECT is what is shown.
        const std::string refusal = lastReply_;
        if (!Create(folder)) {
            lastReply_ = refusal;
            return false;
        }
        if (!run("SELECT " + quoted, untagged))
            return false;
    }
    if (uidValidity == 0)
        return fail(kErrorBadReply, "the server gave no UIDVALIDITY for " + folder);
    return true;
}

bool ImapConnection::Create(const std::string& folder) {
    std::string wire, quoted;
    if (!imapMailboxName(folder, wire) || !imapQuoted(wire, quoted)) {
        errorCode_ = kErrorInvalidArgument;
        return false;
    }
    return run("CREATE " + quoted);
}

bool ImapConnection::UidSearch(const std::string& criteria, std::vector<uint32_t>& uids) {
    uids.clear();
    bool broken = false;
    const bool done = run("UID SEARCH " + criteria, [&](const ImapResponse& response) {
        std::vector<uint32_t> found;
        if (parseSearch(response.text, found))
            uids.insert(uids.end(), found.begin(), found.end());
        else if (response.text.size() >= 6 && (response.text.compare(0, 6, "SEARCH") == 0 ||
                                               response.text.compare(0, 6, "search") == 0))
            broken = true;
    });
    if (!done)
        return false;
    if (broken)
        return fail(kErrorBadReply, "the server's search result holds something that is no UID");
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    return true;
}

bool ImapConnection::UidFetch(const std::string& set, const std::string& items,
                              const std::function<bool(const ImapFetch&)>& each) {
    std::string refusal;
    const bool done = run("UID FETCH " + set + " " + items, [&](const ImapResponse& response) {
        ImapFetch fetch;
        if (!parseFetch(response, fetch)) {
            uint32_t number = 0;
            std::string word;
            if (parseNumbered(response.text, number, word) && word == "FETCH" && refusal.empty())
                refusal =
                    "the server's FETCH reply does not parse: " + response.text.substr(0, 200);
            return;
        }
        if (!each(fetch) && refusal.empty())
            refusal = "the server's FETCH reply does not fit what was asked: " +
                      response.text.substr(0, 200);
    });
    if (!done)
        return false;
    if (!refusal.empty())
        return fail(kErrorBadReply, refusal);
    return true;
}

int ImapConnection::FetchMessage(uint32_t uid, MessageTextSink& sink, uint64_t expectedSize) {
    reader_.setLiteralSink(&sink);
    expectedSize_ = expectedSize;
    startTime_ = std::time(nullptr);
    int bodies = 0;
    bool other = false;
    const bool done =
        run("UID FETCH " + std::to_string(uid) + " (UID BODY.PEEK[])",
            [&](const ImapResponse& response) {
                ImapFetch fetch;
                if (response.streamedLiterals > 0) {
                    bodies += response.streamedLiterals;
                    if (!parseFetch(response, fetch) || !fetch.hasUid || fetch.uid != uid)
                        other = true;
                }
            });
    reader_.setLiteralSink(nullptr);
    expectedSize_ = 0;
    if (!done)
        return errorCode_ == kTransferCancelledCode ? kTransferCancelledCode : -1;
    if (other) {
        fail(kErrorBadReply, "the server sent another message than UID " + std::to_string(uid) +
                                 " that was asked for");
        return -1;
    }
    if (bodies != 1) {
        fail(kErrorBadReply, bodies == 0 ? "the server sent no message for UID " +
                                               std::to_string(uid) + " (is it gone?)"
                                         : "the server sent more than one message");
        return -1;
    }
    return 0;
}

int ImapConnection::Append(const std::string& folder, const std::string& flags,
                           std::string_view message, bool* folderMissing) {
    StringTextSource text(message);
    return Append(folder, flags, text, folderMissing);
}

int ImapConnection::Append(const std::string& folder, const std::string& flags,
                           MessageTextSource& message, bool* folderMissing) {
    if (folderMissing != nullptr)
        *folderMissing = false;
    std::string wire, quoted;
    if (!imapMailboxName(folder, wire) || !imapQuoted(wire, quoted)) {
        errorCode_ = kErrorInvalidArgument;
        return -1;
    }
    startTime_ = std::time(nullptr);
    if (!message.rewind()) {
        errorCode_ = kErrorInvalidArgument;
        return -1;
    }
    if (runWithLiterals({"APPEND " + quoted + " " + flags + " ", ""}, {&message}, nullptr, true))
        return 0;
    if (errorCode_ == kTransferCancelledCode)
        return kTransferCancelledCode;
    if (errorCode_ != kErrorBadReply || !connected_)
        return -1;
    if (folderMissing != nullptr)
        *folderMissing = lastCode_ == "TRYCREATE";
    if (lastReply_.compare(0, 3, "BAD") == 0)
        return 500;
    if (lastCode_ == "OVERQUOTA" || lastCode_ == "LIMIT" || lastCode_ == "TOOBIG")
        return 552;
    return 554;
}

uint64_t ImapConnection::FolderAppendLimit(const std::string& folder) {
    std::string wire, quoted;
    if (!imapMailboxName(folder, wire) || !imapQuoted(wire, quoted))
        return 0;
    uint64_t limit = 0;
    run("STATUS " + quoted + " (APPENDLIMIT)", [&](const ImapResponse& response) {
        // "STATUS "INBOX" (APPENDLIMIT 35651584)"
        const size_t at = response.text.rfind("APPENDLIMIT ");
        if (response.text.compare(0, 7, "STATUS ") == 0 && at != std::string::npos)
            limit = std::strtoull(response.text.c_str() + at + 12, nullptr, 10);
    });
    return limit;
}

bool ImapConnection::UidStoreDeleted(const std::string& set) {
    return run("UID STORE " + set + " +FLAGS.SILENT (\\Deleted)");
}

bool ImapConnection::UidExpunge(const std::string& set) {
    return run("UID EXPUNGE " + set);
}

bool ImapConnection::Expunge() {
    return run("EXPUNGE");
}

bool ImapConnection::Logout() {
    bool confirmed = false;
    if (connected_)
        confirmed = run("LOGOUT");
    Drop();
    return confirmed;
}

}  // namespace parvola
