#pragma once
// A blocking IMAP client over one TCP (or TLS) connection, beside the POP3
// one and built the same way: every command waits for its tagged reply
// before the next goes out, replies are framed by ImapReplyReader out of a
// bounded receive buffer, and every wait has a time-out.
//
// Our own client rather than libcurl's IMAP: the store needs a fetched
// message's literal streamed straight into the attachment reader (libcurl
// hands a FETCH reply over without telling literal from response text),
// exact control of UIDs and of which messages are expunged (UID STORE and
// UID EXPUNGE, not available as such there), the ID command some providers
// demand before a login, and the same progress and cancel hooks and
// bounded buffers as the POP3 and SMTP clients.
//
// Results are true/false (Append and FetchMessage: codes); after a failure
// lastError() holds the socket code (10060 time-out, 10054 closed, 10043 a
// NO or BAD or a reply that breaks the protocol, 10900 a connection that
// could not be secured or would carry a password in plain text, 10022 an
// argument refused before anything was sent) and lastReply() the server's
// words or what was wrong with its reply, passwords masked.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/imap_reply_reader.h"
#include "mail/imap_response.h"
#include "mail/message_text_source.h"
#include "mail/receive_buffer.h"
#include "mail/socket_channel.h"
#include "platform/tls_settings.h"

namespace parvola {

class MessageTextSink;
class ProgressSink;

class ImapConnection {
  public:
    static constexpr int kDefaultTimeoutMs = 60000;
    // The ID command's fields: who is asking, as the providers that require
    // ID want to be told.
    static constexpr const char* kClientName = "Parvola";
    static constexpr const char* kClientVersion = "1.0";

    using UntaggedHandler = std::function<void(const ImapResponse&)>;

    ImapConnection();
    // Closes the socket if it is still open, without LOGOUT.
    ~ImapConnection();
    ImapConnection(const ImapConnection&) = delete;
    ImapConnection& operator=(const ImapConnection&) = delete;

    void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
    // The password given to Connect is an OAuth 2 bearer token: the login is
    // AUTHENTICATE OAUTHBEARER (or XOAUTH2 where only that is offered), and
    // a server that offers neither is refused before the token is sent.
    void setBearerToken(bool bearer) { bearer_ = bearer; }
    void setTls(const TlsSettings& tls) { tls_ = tls; }
    void setProgress(ProgressSink* sink, int taskId) {
        progressSink_ = sink;
        taskId_ = taskId;
    }

    // Connects, secures the connection as set (implicit TLS, STARTTLS
    // required, or STARTTLS when offered), learns the capabilities, sends ID
    // where the server takes it, and logs in (AUTHENTICATE PLAIN when
    // offered, else LOGIN). A password never goes over a connection that is
    // not secured unless the TLS settings allow plain text.
    bool Connect(const std::string& host, int port, const std::string& user,
                 const std::string& password);
    // SELECT `folder` (UTF-8): its UIDVALIDITY and message count. With
    // `create`, a folder the server says is missing is created first.
    bool Select(const std::string& folder, bool create, uint32_t& uidValidity, uint32_t& exists);
    // CREATE `folder`.
    bool Create(const std::string& folder);
    // UID SEARCH `criteria` (written as it is): the UIDs found, ascending and
    // distinct. Numbers the server sends out of order or twice are folded.
    bool UidSearch(const std::string& criteria, std::vector<uint32_t>& uids);
    // UID FETCH `set` `items`: each FETCH response goes to `each` (which
    // may refuse it, failing the command after its end).
    bool UidFetch(const std::string& set, const std::string& items,
                  const std::function<bool(const ImapFetch&)>& each);
    // UID FETCH `uid` (UID BODY.PEEK[]): the message's bytes go to `sink`
    // while they arrive, progress to the progress sink with `expectedSize`
    // as the whole. 0 when exactly that message arrived whole;
    // kTransferCancelledCode when the progress sink asked to stop (the
    // connection is then closed); -1 otherwise.
    int FetchMessage(uint32_t uid, MessageTextSink& sink, uint64_t expectedSize);
    // APPEND `message` to `folder` with `flags` ("(\\Seen)"), as a literal
    // (LITERAL+ when offered, else after the server's go-ahead), progress
    // and cancel as for a fetch. 0 on success, kTransferCancelledCode, -1
    // when the connection failed, else the refusal's code (552 for a
    // refusal the server names as over a limit or quota, 554 for another NO,
    // 500 for BAD). `folderMissing` tells of a NO [TRYCREATE].
    int Append(const std::string& folder, const std::string& flags, MessageTextSource& message,
               bool* folderMissing = nullptr);
    int Append(const std::string& folder, const std::string& flags, std::string_view message,
               bool* folderMissing = nullptr);
    // The APPENDLIMIT of `folder` by STATUS, for servers that announce the
    // capability without a number (limits per folder); 0 when none is said.
    uint64_t FolderAppendLimit(const std::string& folder);
    // UID STORE `set` +FLAGS.SILENT (\Deleted).
    bool UidStoreDeleted(const std::string& set);
    // UID EXPUNGE `set` (UIDPLUS).
    bool UidExpunge(const std::string& set);
    // EXPUNGE: every message flagged \Deleted in the folder.
    bool Expunge();
    // LOGOUT when connected, then closes the socket in every case; true
    // when the server confirmed.
    bool Logout();
    // Closes the socket without a word.
    void Drop();

    bool isConnected() const { return connected_; }
    bool isSecure() const { return secure_; }
    // The login was not tried: the connection is not secured and plain
    // text is not allowed.
    bool refusedPlaintext() const { return refusedPlaintext_; }
    // The server refused the bearer token (a NO to AUTHENTICATE): the sign
    // to ask for a fresh one.
    bool loginRefused() const { return loginRefused_; }
    const std::vector<std::string>& capabilities() const { return capabilities_; }
    bool has(std::string_view capability) const { return hasCapability(capabilities_, capability); }
    // The APPENDLIMIT the server announced (0: none).
    uint64_t appendLimit() const { return capabilityNumber(capabilities_, "APPENDLIMIT"); }
    int lastError() const { return errorCode_; }
    const std::string& lastReply() const { return lastReply_; }
    // The bracketed code of the last NO or BAD ("TRYCREATE", "OVERQUOTA").
    const std::string& lastCode() const { return lastCode_; }
    // Commands sent in this connection, for the measurements.
    int commandsSent() const { return commandsSent_; }

  private:
    struct ReplyClock;

    bool fail(int code, std::string text);
    bool secure(const std::string& host);
    bool startTls(const std::string& host);
    bool refreshCapabilities();
    bool sendId();
    bool login(const std::string& user, const std::string& password);
    bool loginWithToken(const std::string& user, const std::string& token);
    std::string nextTag();
    bool sendRaw(std::string_view bytes);
    // Sends a literal's bytes in blocks as they are read from `bytes`,
    // with progress and cancel when asked.
    bool sendLiteralBytes(MessageTextSource& bytes, bool withProgress);
    // Sends "TAG command" with `literals` after the text parts that
    // announce them, waits for the go-ahead of each where needed, and reads
    // the reply up to its tagged status.
    bool run(const std::string& command, const UntaggedHandler& untagged = nullptr);
    bool runWithLiterals(const std::vector<std::string>& texts,
                         const std::vector<MessageTextSource*>& literals,
                         const UntaggedHandler& untagged, bool progressOnLiterals);
    // Reads responses until the one tagged `tag`; untagged ones go to the
    // handler (after the connection has noted capabilities and BYE).
    // `continuation` set: a "+" ends the wait (true, *continuation = true).
    bool finish(const std::string& tag, const UntaggedHandler& untagged,
                bool* continuation = nullptr);
    bool readResponse(ReplyClock& clock);
    bool receiveMore(ReplyClock& clock);
    void noteUntagged(const ImapResponse& response);
    void reportProgress(uint64_t done, uint64_t whole);

    SocketChannel channel_;
    std::unique_ptr<char[]> sendBlock_;  // a literal on its way out
    ReceiveBuffer inbox_;
    ImapReplyReader reader_;
    std::vector<std::string> capabilities_;
    std::chrono::milliseconds timeout_{kDefaultTimeoutMs};
    TlsSettings tls_;
    ProgressSink* progressSink_ = nullptr;
    int taskId_ = -1;
    std::time_t startTime_;
    uint64_t expectedSize_ = 0;
    bool connected_ = false;
    bool secure_ = false;
    bool idSent_ = false;
    bool refusedPlaintext_ = false;
    bool bearer_ = false;
    bool loginRefused_ = false;
    std::string host_;
    int port_ = 0;
    bool capabilitiesNoted_ = false;  // a reply listed them since this was cleared
    unsigned tagCounter_ = 0;
    int commandsSent_ = 0;
    int errorCode_ = kSocketOk;
    std::string lastReply_;
    std::string lastCode_;
    std::string byeText_;
    std::string password_;  // masked out of every reply kept
};

}  // namespace parvola
