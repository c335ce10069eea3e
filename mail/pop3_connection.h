#pragma once
// A blocking POP3 client over one TCP connection: log in, count and size the
// messages, read header blocks (TOP n 20), retrieve, delete. Every command
// waits for its complete reply before the next one is sent; nothing is
// pipelined. One object serves one connection on one thread at a time.
//
// Results are true/false; after a failure lastError() holds the Windows
// Sockets code the callers test (10060 time-out, 10043 reply not +OK, 10022
// host not found or an argument refused) and lastReply() the reply text.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "mail/message_text_sink.h"
#include "mail/receive_buffer.h"
#include "mail/socket_channel.h"
#include "platform/tls_settings.h"

namespace parvola {

class AttachmentOutput;
class AttachmentWriter;
class ProgressSink;

class Pop3Connection {
  public:
    static constexpr int kDefaultTimeoutMs = 60000;
    // SaveAttachments' result when the message could not be retrieved.
    static constexpr int kRetrievalFailed = -1;
    // USER and PASS go out in a 128-byte command: longer values are refused.
    static constexpr size_t kMaxCredentialLength = 120;

    Pop3Connection();
    // Closes the socket if it is still open, without QUIT.
    virtual ~Pop3Connection();
    Pop3Connection(const Pop3Connection&) = delete;
    Pop3Connection& operator=(const Pop3Connection&) = delete;

    // Connects, reads the greeting, sends USER and PASS. True when all three
    // replies are +OK. A user name or password longer than 120 bytes, or one
    // holding a line break or NUL, is refused (10022) before anything is sent.
    // With TLS set (setTls), the connection is secured first (implicit: before
    // the greeting; STLS: right after it), and a failed handshake or refused
    // certificate ends it (10900, the reason in lastReply) before USER.
    // StartTlsIfOffered asks CAPA and upgrades when STLS is listed. A
    // connection left unsecured when the settings do not allow a plaintext
    // login ends with QUIT before USER (10901, the reason in lastReply).
    bool Connect(const std::string& host, const std::string& user, const std::string& password,
                 int port = 110);
    // Sends QUIT when connected and closes the channel in every case. The
    // judgement of the QUIT reply; false when never connected.
    bool Disconnect();
    // STAT: the message count and the total size.
    bool Statistics(int& count, int& totalSize);
    // Size of message `number` from the LIST listing (STAT and LIST on first use).
    bool GetMessageSize(int number, uint32_t& size);
    // DELE `number` (LIST first when the sizes are not known yet).
    bool Delete(int number);
    // TOP `number` 20: the header block and the first 20 body lines.
    bool GetMessageHeader(int number, std::string& text);
    // LIST `number`, then RETR `number`: the whole message text.
    bool Retrieve(int number, std::string& text);
    // UIDL: the server's unique id of every message, ids[n - 1] for message
    // n. False when the server refuses the command (it is optional in POP3)
    // or the listing is not one id per message in order.
    bool GetUniqueIds(std::vector<std::string>& ids);

    // Retrieves message `number` and writes each attachment into `folder`
    // under the (sanitised) file name the mail gives, decoded by the part's
    // transfer encoding (base64 when it names none). 0 when the
    // message was retrieved, kRetrievalFailed when the retrieval failed, -1 when
    // an unexpected error interrupted decoding, kTransferCancelledCode when the progress
    // sink asked to stop (the connection is then closed, lastError() holds
    // the same code).
    int SaveAttachments(int number, const std::string& folder);
    // The same, reporting the retrieval's progress to `sink` for `taskId`.
    int DownloadAttachments(int number, const std::string& folder, int taskId, ProgressSink* sink);
    // The same, the first attachment's decoded bytes handed to `output`
    // while they arrive instead of written into a folder.
    int StreamAttachment(int number, AttachmentOutput& output, int taskId, ProgressSink* sink);

    void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
    void setTls(const TlsSettings& tls) { tls_ = tls; }
    // The password given to Connect is an OAuth 2 bearer token: the login is
    // AUTH OAUTHBEARER (or XOAUTH2 where only that is offered, RFC 5034) in
    // place of USER and PASS, and a server whose CAPA lists neither is
    // refused before the token is sent.
    void setBearerToken(bool bearer) { bearer_ = bearer; }
    // The server refused the bearer token: the sign to ask for a fresh one.
    bool loginRefused() const { return loginRefused_; }
    void setProgress(ProgressSink* sink, int taskId) {
        progressSink_ = sink;
        taskId_ = taskId;
    }

    int lastError() const { return errorCode_; }
    const std::string& lastReply() const { return lastReply_; }
    bool isConnected() const { return connected_; }
    int messageCount() const { return messageCount_; }
    const std::vector<uint32_t>& messageSizes() const { return messageSizes_; }

  protected:
    // The reply readers. All rest on readLine (one-line replies) and
    // readListing (multi-line replies).
    virtual bool ReadStatResponse(int& count, int& totalSize);
    virtual bool ReadCommandResponse();
    virtual bool ReadListResponse(int count);
    // A TOP or RETR reply: the message text, `size` the expected length.
    virtual bool ReadMessageResponse(size_t size, std::string& text);

    // Reads one reply line: the bytes up to the first CRLF, however the
    // bytes arrive; what follows it stays for the next reply. Judges it
    // (+OK in any letter case is good).
    bool readLine(std::string& line);
    // Reads a multi-line reply: the status line (judged as soon as it is
    // complete), then the text up to the first CRLF "." CRLF, handed to
    // `sink` while it arrives. What follows the end stays for the next reply.
    bool readListing(MessageTextSink& sink);
    // LIST n, then RETR n with its text handed to `sink`.
    bool retrieveInto(int number, MessageTextSink& sink);

  private:
    // Retrieves message `number` into `writer` and finishes it.
    int saveThrough(int number, AttachmentWriter& writer);
    // The state of one reply being read: inactivity and progress.
    struct ReplyClock;
    // Receives at least one more byte into inbox_. False on time-out,
    // receive error, close or cancellation, with errorCode_ set.
    bool receiveMore(ReplyClock& clock);
    bool sendCommand(const std::string& command);
    bool secure(const std::string& host);
    bool authenticateWithToken(const std::string& host, int port, const std::string& user,
                               const std::string& token);
    // CAPA: whether the server offers STLS. False only when the connection
    // failed; a refused CAPA offers nothing.
    bool stlsOffered(bool& offered);
    bool ensureListing();
    bool validNumber(int number);
    void reportProgress(size_t received);
    void fail(int code, const char* text, size_t length);

    std::time_t startTime_;
    ProgressSink* progressSink_ = nullptr;
    int taskId_ = -1;
    uint32_t expectedSize_ = 0;
    SocketChannel channel_;
    ReceiveBuffer inbox_;
    int messageCount_ = 0;
    bool sizesKnown_ = false;
    bool countKnown_ = false;
    std::vector<uint32_t> messageSizes_;
    bool connected_ = false;
    std::string lastReply_;
    std::chrono::milliseconds timeout_{kDefaultTimeoutMs};
    int errorCode_ = kSocketOk;
    TlsSettings tls_;
    bool bearer_ = false;
    bool loginRefused_ = false;
};

}  // namespace parvola
