#pragma once
// SMTP client: sends one composed message over a blocking TCP connection,
// greeting with EHLO (HELO when refused) and authenticating with AUTH LOGIN.
// Never pipelines: each command is sent whole and its reply read before the
// next, and reply text left unread (the rest of a multi-line reply) is
// discarded before each command.
//
// Results are reply codes: the number of the reply's first three digits, or
// -1 when no valid reply arrived (time-out, closed connection, socket error,
// a reply line that overflows the reply buffer) or when a command could not
// be formed safely.
#include <chrono>
#include <cstddef>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mail/message_text_source.h"
#include "mail/progress_sink.h"
#include "mail/smtp_message.h"
#include "platform/tcp_socket.h"
#include "platform/tls_settings.h"

namespace parvola {

class SmtpClient {
  public:
    // Size of the reply buffer; a reply line must end within it.
    static constexpr size_t kReplyBufferSize = 1024;
    // Size of the command buffers for MAIL FROM and RCPT TO and of the host
    // name buffer; a line that does not fit is refused, never cut.
    static constexpr size_t kCommandBufferSize = 260;
    // Commands and message text go out in pieces of this size.
    static constexpr size_t kSendPieceSize = 1024;
    // Progress is reported after every this many pieces.
    static constexpr size_t kPiecesPerProgress = 101;
    // MAIL FROM answered 530 logs in again at most this often.
    static constexpr int kMaxReauthentications = 3;
    // A server that keeps prompting is given up after this many answers.
    static constexpr int kMaxAuthPrompts = 4;

    SmtpClient();
    virtual ~SmtpClient();
    SmtpClient(const SmtpClient&) = delete;
    SmtpClient& operator=(const SmtpClient&) = delete;

    // 1 when connected, greeted and (on an ESMTP server) AUTH LOGIN was tried;
    // 0 otherwise. A failed AUTH LOGIN does not fail the connection.
    // With TLS set (setTls), the connection is secured first (implicit: before the
    // greeting; STARTTLS: after the first EHLO, which is then repeated), and
    // a failed handshake or refused certificate returns 0 before anything
    // else is sent, the reason in lastReply() and failureReply().
    // StartTlsIfOffered upgrades when the EHLO reply lists STARTTLS and goes
    // on in plain text otherwise. With credentials set, a connection left
    // unsecured when the settings do not allow a plaintext login returns 0
    // after QUIT, before AUTH: failureStep() "login", the reason in
    // failureReply(), failureSocketError() kErrorPlaintextRefused.
    int Connect(const std::string& host);
    // 0 when the server took the message; -1 when it has no sender or no
    // recipient, or an address cannot be sent safely; otherwise the failing
    // reply code, or kTransferCancelledCode when `progress` asked to stop while the text
    // went out (the connection is then closed without QUIT). When the server
    // announced SIZE, MAIL FROM carries the message size, so a message over
    // its limit is refused (552) before the text is sent. Progress of the
    // message text goes to `progress` (when given) under `taskId`.
    int SendMessage(SmtpMessage& message, int taskId, ProgressSink* progress = nullptr);
    // Sends QUIT when connected, then closes the socket.
    void Close();
    // Sends `command` (after discarding unread input) and reads the reply.
    int SendCmd(std::string_view command);
    // Only reads a reply (the greeting).
    int SendCmd();

    // Hooks. Warning: a refused AUTH LOGIN start, a 535 to a credential, a
    // refused recipient; returns 0 (no retry). Error: every failed step.
    // Progress: while a long command (the message text) goes out; 0 stops
    // the command (the transfer was cancelled).
    virtual int OnWarning(int code, const std::string& reply);
    virtual int OnError(int code, const std::string& reply);
    virtual int OnProgress(const char* data, size_t sent, size_t total);

    // Settings; they take effect at the next Connect.
    void setPort(int port) { port_ = port; }
    void setCredentials(std::string userName, std::string password);
    // Time allowed for each reply (30 s unless set).
    void setTimeout(std::chrono::seconds timeout) {
        timeoutSeconds_ = static_cast<int>(timeout.count());
    }
    // How the connection is secured; none by default: plaintext.
    void setTls(const TlsSettings& tls) { tls_ = tls; }
    // The password of setCredentials is an OAuth 2 bearer token: the login
    // is AUTH OAUTHBEARER (or XOAUTH2 where only that is offered) instead of
    // AUTH LOGIN; a server that offers neither is not sent the token.
    void setBearerToken(bool bearer) { bearer_ = bearer; }
    // The server refused the bearer token (535): the sign to ask for a fresh one.
    bool loginRefused() const { return loginRefused_; }
    // Greets with HELO alone when false.
    void setUseEhlo(bool useEhlo) { useEhlo_ = useEhlo; }

    // The "smtp" service port, else 25, unless set.
    int port() const { return port_; }
    // The text of the last reply read.
    const std::string& lastReply() const { return lastReply_; }
    bool isConnected() const { return connected_; }
    // The server answered EHLO.
    bool isEsmtp() const { return esmtp_; }
    // From the EHLO reply: the SIZE extension and its limit (0: none given).
    bool sizeAnnounced() const { return sizeAnnounced_; }
    size_t sizeLimit() const { return sizeLimit_; }
    // The code and text of the reply that made Connect or SendMessage fail
    // (a refusal such as "552 5.3.4 Message size exceeds..." or "452 4.2.2
    // Mailbox full"), or the TLS failure; unlike lastReply() they survive the
    // QUIT of Close, so the caller can show the server's own words. Code 0
    // and empty text when nothing failed.
    int failureCode() const { return failureCode_; }
    const std::string& failureReply() const { return failureReply_; }
    // Where Connect or SendMessage failed ("connect", "TLS verification",
    // "greeting", "send") and the socket's error then (0: none), so a
    // failure without the server's words can still be named.
    const std::string& failureStep() const { return failureStep_; }
    int failureSocketError() const { return failureSocketError_; }

  protected:
    // Moves the base of the speed in progress reports (the construction time).
    void setCreated(std::time_t when) { created_ = when; }

  private:
    // Sends `head` then `tail` as one command and reads the reply; `head`
    // is read while it goes out.
    int sendCommand(MessageTextSource& head, std::string_view tail);
    void discardPendingInput();
    bool sendPieces(MessageTextSource& head, std::string_view tail);
    int readReply();
    // Calls OnError; -1 (the connection is gone) also clears connected_.
    void error(int code);
    int authLogin();
    int authWithToken();
    int greet(std::string& greeting);
    bool startTls(const std::string& host);
    void readCapabilities();
    // Formats "<verb><address>>\r\n" into `line`; false when the address has
    // a line break or the line would not fit the command buffer.
    static bool formatAddressCommand(const char* verb, const std::string& address,
                                     std::string& line, const std::string& parameter = {});

    bool useEhlo_ = true;
    int timeoutSeconds_ = 30;
    int port_;
    std::string userName_;
    std::string password_;
    std::string lastReply_;
    bool connected_ = false;
    bool esmtp_ = false;
    std::time_t created_;
    TlsSettings tls_;
    bool sizeAnnounced_ = false;
    bool bearer_ = false;
    bool loginRefused_ = false;
    std::string hostName_;                     // the host connected to, for OAUTHBEARER
    std::vector<std::string> authMechanisms_;  // from the EHLO reply's AUTH line
    size_t sizeLimit_ = 0;
    int failureCode_ = 0;
    std::string failureReply_;
    std::string failureStep_;
    int failureSocketError_ = 0;
    TcpSocket socket_;
    ProgressSink* progress_ = nullptr;
    int taskId_ = -1;
    bool cancelled_ = false;         // the progress hook stopped the last long command
    bool unreadable_ = false;        // the text of the last long command could not be read
    std::unique_ptr<char[]> block_;  // the block of text going out
};

}  // namespace parvola
