#include "mail/smtp_client.h"

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "mail/base64.h"
#include "mail/plaintext_guard.h"
#include "mail/sasl_oauth.h"
#include "mail/secret_mask.h"
#include "platform/host_info.h"

namespace parvola {
namespace {

// A reply code is three digits, the first 1 to 5; anything else is no reply.
int replyCode(std::string_view text) {
    if (text.size() < 3)
        return -1;
    if (text[0] < '1' || text[0] > '5')
        return -1;
    if (text[1] < '0' || text[1] > '9' || text[2] < '0' || text[2] > '9')
        return -1;
    return (text[0] - '0') * 100 + (text[1] - '0') * 10 + (text[2] - '0');
}

// True when the last line of `text` (complete lines without the final line
// feed) is a continuation line of a multi-line reply: three digits and "-".
bool endsInContinuation(std::string_view text) {
    const size_t start = text.rfind('\n');
    const std::string_view line = start == std::string_view::npos ? text : text.substr(start + 1);
    return line.size() >= 4 && replyCode(line) != -1 && line[3] == '-';
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
    return a.size() == std::strlen(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

// The keyword lines of an EHLO reply ("250-SIZE 209715200", "250 STARTTLS"),
// each without its code and separator.
std::vector<std::string_view> capabilityLines(std::string_view reply) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < reply.size()) {
        size_t end = reply.find('\n', start);
        if (end == std::string_view::npos)
            end = reply.size();
        std::string_view line = reply.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > 4)
            lines.push_back(line.substr(4));
        start = end + 1;
    }
    return lines;
}

bool hasKeyword(std::string_view line, const char* keyword) {
    const size_t n = std::strlen(keyword);
    return line.size() >= n && strncasecmp(line.data(), keyword, n) == 0 &&
           (line.size() == n || line[n] == ' ');
}

}  // namespace

SmtpClient::SmtpClient() : port_(servicePort("smtp", 25)), created_(std::time(nullptr)) {}

void SmtpClient::setCredentials(std::string userName, std::string password) {
    userName_ = std::move(userName);
    password_ = std::move(password);
}

SmtpClient::~SmtpClient() {
    Close();
}

int SmtpClient::OnWarning(int, const std::string&) {
    return 0;
}

int SmtpClient::OnError(int, const std::string&) {
    return 0;
}

int SmtpClient::OnProgress(const char*, size_t sent, size_t total) {
    if (progress_ == nullptr)
        return 1;
    // Every step is reported, also in the first second (a piece on a fast
    // link is through before it ends): the speed is known from then on.
    if (total != 0) {
        const auto elapsed = static_cast<long>(std::time(nullptr) - created_);
        const long speed = elapsed > 0 ? static_cast<long>(sent / static_cast<size_t>(elapsed)) : 0;
        progress_->report(taskId_, static_cast<float>(sent * 100 / total), speed, false);
    }
    // Asked at every step, not only when a report goes out, so that a
    // cancelled task stops within about 100 KB of text.
    return progress_->shouldContinue(taskId_) ? 1 : 0;
}

void SmtpClient::error(int code) {
    if (code == -1)
        connected_ = false;
    failureCode_ = code;
    failureReply_ = lastReply_;
    if (socket_.lastError() != 0)
        failureSocketError_ = socket_.lastError();
    OnError(code, lastReply_);
}

int SmtpClient::SendCmd() {
    return readReply();
}

int SmtpClient::SendCmd(std::string_view command) {
    StringTextSource text(command);
    return sendCommand(text, {});
}

int SmtpClient::sendCommand(MessageTextSource& head, std::string_view tail) {
    discardPendingInput();
    cancelled_ = false;
    unreadable_ = false;
    if (!sendPieces(head, tail)) {
        // A server that refuses in the middle of a long text (a 552 for
        // size, a 421 before it hangs up) may have said why before it closed:
        // that answer, when there is one, is the result, not a bare -1.
        lastReply_.clear();
        if (cancelled_) {
            // The message text is only half sent: nothing more may go over
            // this connection (a QUIT would read as message text), and the
            // server discards a message whose end-of-data line never came.
            connected_ = false;
            socket_.close();
            return kTransferCancelledCode;
        }
        if (unreadable_) {
            // The same holds for a text that could not be read to its end.
            connected_ = false;
            socket_.close();
            lastReply_ = "the file being sent could not be read";
            return -1;
        }
        const int code = socket_.isOpen() ? readReply() : -1;
        if (code == -1 && socket_.isSecure() && lastReply_.empty())
            lastReply_ = socket_.tlsFailure();
        return code;
    }
    return readReply();
}

void SmtpClient::discardPendingInput() {
    char scratch[kReplyBufferSize];
    while (socket_.isOpen() && socket_.waitReadable(0) == 1) {
        if (socket_.receive(scratch, sizeof scratch) <= 0)
            break;
    }
}

bool SmtpClient::sendPieces(MessageTextSource& head, std::string_view tail) {
    const uint64_t headSize = head.size();
    const uint64_t total = headSize + tail.size();
    // The text is counted in pieces of kSendPieceSize with a progress report
    // after every kPiecesPerProgress pieces, but each report's worth goes to
    // the socket at once: a 70 MB message takes some 700 send calls, not
    // 70,000, and the reports come at the same counts as before.
    const size_t block = kSendPieceSize * kPiecesPerProgress;
    if (!block_)
        block_ = std::make_unique_for_overwrite<char[]>(block);
    uint64_t sent = 0;
    size_t tailSent = 0;
    // The blocks run over `head` and then `tail` as if they were one text, so
    // a long message and its end-of-data line go out without being joined.
    while (sent < total) {
        const auto length = static_cast<size_t>(std::min<uint64_t>(block, total - sent));
        size_t filled = 0;
        if (sent < headSize) {
            filled = static_cast<size_t>(std::min<uint64_t>(length, headSize - sent));
            if (readFully(head, block_.get(), filled) != static_cast<long>(filled)) {
                unreadable_ = true;
                return false;
            }
        }
        const size_t fromTail = length - filled;
        if (fromTail != 0)
            std::memcpy(block_.get() + filled, tail.data() + tailSent, fromTail);
        tailSent += fromTail;
        if (!socket_.sendAll(block_.get(), length))
            return false;
        sent += length;
        if (total > kSendPieceSize && length == block &&
            OnProgress(block_.get(), static_cast<size_t>(sent), static_cast<size_t>(total)) == 0) {
            cancelled_ = true;
            return false;
        }
    }
    return true;
}

int SmtpClient::readReply() {
    char buffer[kReplyBufferSize] = {};
    size_t used = 0;
    const size_t capacity = sizeof buffer - 1;  // the text stays NUL-terminated
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(std::max(timeoutSeconds_, 0));
    bool complete = false;
    size_t end = 0;
    while (socket_.isOpen()) {
        if (used == capacity)
            break;  // a line longer than the buffer: refused
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        if (socket_.waitReadable(static_cast<int>(left.count())) != 1)
            break;
        const ssize_t got = socket_.receive(buffer + used, capacity - used);
        if (got <= 0)
            break;
        used += static_cast<size_t>(got);
        const void* lastLf = memrchr(buffer, '\n', used);
        if (lastLf == nullptr)
            continue;
        end = static_cast<size_t>(static_cast<const char*>(lastLf) - buffer);
        // A multi-line reply ("250-...") goes on until its final line ("250 ...")
        // has come, whatever segments it arrives in. When the buffer is full of
        // complete lines first, the reply is taken as it stands and the rest is
        // discarded before the next command.
        if (!endsInContinuation(std::string_view(buffer, end)) || used == capacity) {
            if (end > 0 && buffer[end - 1] == '\r')
                --end;
            complete = true;
            break;
        }
    }
    lastReply_.assign(buffer, complete ? end : used);
    if (!complete)
        return -1;
    return replyCode(lastReply_);
}

int SmtpClient::Connect(const std::string& host) {
    Close();
    hostName_ = host;
    loginRefused_ = false;
    esmtp_ = false;
    sizeAnnounced_ = false;
    sizeLimit_ = 0;
    failureCode_ = 0;
    failureReply_.clear();
    failureStep_ = "connect";
    failureSocketError_ = 0;
    if (host.empty() || host.size() >= kCommandBufferSize)
        return 0;
    if (!socket_.create() || !socket_.connect(host, port_)) {
        failureSocketError_ = socket_.lastError();
        Close();
        return 0;
    }
    if (tls_.mode == TlsMode::Implicit && !startTls(host))
        return 0;
    failureStep_ = "greeting";
    int code = SendCmd();
    if (code != 220) {
        error(code);
        Close();
        return 0;
    }
    std::string greeting;
    code = greet(greeting);
    if (code != 250) {
        error(code);
        Close();
        return 0;
    }
    bool offered = false;
    if (esmtp_) {
        for (std::string_view line : capabilityLines(lastReply_))
            offered = offered || hasKeyword(line, "STARTTLS");
    }
    if (tls_.mode == TlsMode::StartTls || (tls_.mode == TlsMode::StartTlsIfOffered && offered)) {
        if (!offered) {
            lastReply_ = "SMTP server " + host + " does not offer STARTTLS";
            error(-1);
            Close();
            return 0;
        }
        code = SendCmd("STARTTLS\r\n");
        if (code != 220) {
            const std::string reply = lastReply_;
            lastReply_ = "SMTP server " + host + " did not start TLS (STARTTLS): " + reply;
            error(code);
            Close();
            return 0;
        }
        if (!startTls(host))
            return 0;
        // What the server said before TLS no longer counts: greet it again.
        code = SendCmd(greeting);
        if (code != 250) {
            error(code);
            Close();
            return 0;
        }
    }
    if (esmtp_)
        readCapabilities();
    connected_ = true;
    if (esmtp_ && !userName_.empty() && !loginMayGoOut(tls_, socket_.isSecure())) {
        // No AUTH goes out: the user is told why, and the server is left
        // politely with QUIT.
        failureStep_ = "login";
        failureCode_ = -1;
        failureReply_ = plaintextLoginRefusal("SMTP", host, port_);
        failureSocketError_ = kErrorPlaintextRefused;
        lastReply_ = failureReply_;
        Close();
        return 0;
    }
    failureStep_.clear();
    if (esmtp_)
        authLogin();
    return 1;
}

// EHLO (HELO when EHLO is refused or not wanted); the reply code, `greeting`
// the EHLO line to repeat after STARTTLS.
int SmtpClient::greet(std::string& greeting) {
    std::string name = computerName().substr(0, 64);
    if (name.empty())
        name = "localhost";
    greeting = "EHLO " + name + "\r\n";
    int code = useEhlo_ ? SendCmd(greeting) : -1;
    if (useEhlo_ && code == 250) {
        esmtp_ = true;
        return code;
    }
    std::string helo = greeting;
    std::swap(helo[0], helo[1]);  // "EHLO" -> "HELO"
    return SendCmd(helo);
}

bool SmtpClient::startTls(const std::string& host) {
    if (socket_.startTls(host, tls_.caFile, std::max(timeoutSeconds_, 1) * 1000))
        return true;
    failureStep_ = "TLS verification";
    // Nothing more goes out, QUIT included: the server is in a handshake.
    lastReply_ = socket_.tlsFailure();
    connected_ = false;
    error(-1);
    socket_.close();
    return false;
}

void SmtpClient::readCapabilities() {
    authMechanisms_.clear();
    for (std::string_view line : capabilityLines(lastReply_)) {
        if (hasKeyword(line, "AUTH")) {
            for (size_t at = 5; at < line.size();) {
                size_t next = line.find(' ', at);
                if (next == std::string_view::npos)
                    next = line.size();
                if (next > at)
                    authMechanisms_.emplace_back(line.substr(at, next - at));
                at = next + 1;
            }
            continue;
        }
        if (!hasKeyword(line, "SIZE"))
            continue;
        sizeAnnounced_ = true;
        sizeLimit_ =
            line.size() > 5 ? std::strtoull(std::string(line.substr(5)).c_str(), nullptr, 10) : 0;
    }
}

int SmtpClient::authWithToken() {
    const OAuthMechanism mechanism = chooseOAuthMechanism(authMechanisms_);
    if (mechanism == OAuthMechanism::None) {
        lastReply_ =
            "the SMTP server takes no OAuth 2 token (it offers neither AUTH OAUTHBEARER nor "
            "XOAUTH2)";
        OnWarning(504, lastReply_);
        error(504);
        return 504;
    }
    int code =
        SendCmd(std::string("AUTH ") + oauthMechanismName(mechanism) + " " +
                oauthInitialResponse(mechanism, userName_, password_, hostName_, port_) + "\r\n");
    std::string why;
    if (code == 334) {
        // The server's error document, acknowledged; its refusal follows.
        why = lastReply_.size() > 4 ? oauthChallengeText(lastReply_.substr(4)) : std::string();
        code = SendCmd(std::string(oauthErrorAcknowledgement(mechanism)) + "\r\n");
    }
    maskSecret(lastReply_, password_);
    if (code == 235)
        return 0;
    loginRefused_ = code == 535;
    if (!why.empty())
        lastReply_ += " (" + why + ")";
    OnWarning(code, lastReply_);
    error(code);
    return code;
}

int SmtpClient::authLogin() {
    if (userName_.empty())
        return 0;
    if (bearer_)
        return authWithToken();
    int code = SendCmd("AUTH LOGIN\r\n");
    if (code != 334) {
        OnWarning(code, lastReply_);
        return code;
    }
    int answers = 0;
    while (code == 334) {
        std::string prompt;
        const bool decoded = lastReply_.size() >= 4 && base64Decode(lastReply_.substr(4), prompt);
        const std::string* answer = nullptr;
        if (decoded && equalsIgnoringCase(prompt, "Username:"))
            answer = &userName_;
        else if (decoded && equalsIgnoringCase(prompt, "Password:"))
            answer = &password_;
        if (answer == nullptr || ++answers > kMaxAuthPrompts) {
            error(334);
            return 334;
        }
        code = SendCmd(base64Encode(*answer) + "\r\n");
        maskSecret(lastReply_, password_);
        if (code == 535) {
            OnWarning(535, lastReply_);
            error(535);
            return 535;
        }
    }
    if (code != 235) {
        error(code);
        return code;
    }
    return 0;
}

bool SmtpClient::formatAddressCommand(const char* verb, const std::string& address,
                                      std::string& line, const std::string& parameter) {
    if (address.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return false;
    line = std::string(verb) + address + ">";
    if (line.size() + 2 >= kCommandBufferSize)
        return false;
    line += parameter + "\r\n";
    return true;
}

int SmtpClient::SendMessage(SmtpMessage& message, int taskId, ProgressSink* progress) {
    taskId_ = taskId;
    progress_ = progress;
    failureCode_ = 0;
    failureReply_.clear();
    failureStep_ = "send";
    failureSocketError_ = 0;
    if (message.sender().address.empty() ||
        (message.recipient().address.empty() && message.toList().empty()))
        return -1;

    // Every command line is formed before anything is sent: an address that
    // does not fit, or that would smuggle a line break into the dialogue,
    // fails the message rather than reach the server cut or split.
    // The text is composed first (its files stay in their files until the
    // text goes out, but its length is known): a server that announced SIZE
    // learns the size with MAIL FROM and can refuse an oversized message at
    // once.
    ComposedText text = message.composeText();
    std::string mailFrom;
    const std::string sizeParameter =
        sizeAnnounced_ ? " SIZE=" + std::to_string(text.size()) : std::string();
    if (!formatAddressCommand("MAIL FROM: <", message.sender().address, mailFrom, sizeParameter))
        return -1;
    std::vector<std::string> recipients;
    auto addRecipient = [&](const SmtpAddress& address) {
        if (address.address.empty())
            return true;
        std::string line;
        if (!formatAddressCommand("RCPT TO: <", address.address, line))
            return false;
        recipients.push_back(std::move(line));
        return true;
    };
    if (!addRecipient(message.recipient()))
        return -1;
    for (const SmtpAddress& a : message.toList())
        if (!addRecipient(a))
            return -1;
    for (const SmtpAddress& a : message.blindList())
        if (!addRecipient(a))
            return -1;

    int code = SendCmd(mailFrom);
    for (int again = 0; code == 530 && again < kMaxReauthentications; ++again) {
        authLogin();
        code = SendCmd(mailFrom);
    }
    if (code != 250) {
        error(code);
        return code;
    }

    int accepted = 0;
    code = -1;
    for (const std::string& line : recipients) {
        code = SendCmd(line);
        if (code == 250 || code == 251)
            ++accepted;
        else
            OnWarning(code, lastReply_);
    }
    if (accepted == 0) {
        error(code);
        return code;
    }

    code = SendCmd("DATA\r\n");
    if (code != 354) {
        error(code);
        return code;
    }
    code = sendCommand(text, "\r\n.\r\n");
    if (code == kTransferCancelledCode)
        return code;
    if (code != 250) {
        error(code);
        return code;
    }
    return 0;
}

void SmtpClient::Close() {
    if (!socket_.isOpen())
        return;
    if (connected_) {
        // The QUIT's answer does not replace the reason a step failed.
        const int code = SendCmd("QUIT\r\n");
        if (code != 221)
            OnError(code, lastReply_);
        connected_ = false;
    }
    socket_.close();
}

}  // namespace parvola
