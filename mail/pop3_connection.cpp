#include "mail/pop3_connection.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mail/idle_receive.h"
#include "mail/plaintext_guard.h"
#include "mail/progress_sink.h"
#include "mail/sasl_oauth.h"
#include "mail/secret_mask.h"

namespace parvola {
namespace {

using Clock = std::chrono::steady_clock;

// Each receive asks for at least this much room: a message of tens of MiB
// then arrives in a few hundred receives, and the buffer stays this small.
constexpr size_t kReceiveRoom = 256u << 10;
// A header block with 20 body lines is a few KiB, however large the message:
// TOP never reserves the size of the whole message.
constexpr size_t kHeaderReservation = 16u << 10;
// Progress goes out at most once per this many receives (more than five).
constexpr int kReceivesPerReport = 5;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Numbers that follow a blank or tab, in order, as the STAT and LIST replies
// give them ("+OK 2 320", "1 120").
std::vector<unsigned long> numbersAfterBlanks(const char* text, size_t length) {
    std::vector<unsigned long> numbers;
    for (size_t i = 0; i < length; ++i) {
        if (!isBlank(text[i]) || i + 1 >= length)
            continue;
        if (text[i + 1] < '0' || text[i + 1] > '9')
            continue;
        numbers.push_back(std::strtoul(text + i + 1, nullptr, 10));
    }
    return numbers;
}

bool hasLineBreakOrNul(const std::string& value) {
    return value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// True when a CAPA listing holds the line "STLS" (any letter case, perhaps
// with arguments after a blank).
bool listsStls(const std::string& listing) {
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find('\n', start);
        if (end == std::string::npos)
            end = listing.size();
        std::string line = listing.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() >= 4 && strncasecmp(line.c_str(), "STLS", 4) == 0 &&
            (line.size() == 4 || line[4] == ' '))
            return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

Pop3Connection::Pop3Connection() : startTime_(std::time(nullptr)) {}

Pop3Connection::~Pop3Connection() {
    channel_.close();
}

void Pop3Connection::fail(int code, const char* text, size_t length) {
    if (code != kSocketOk)
        errorCode_ = code;
    lastReply_.assign(text, length);
}

bool Pop3Connection::sendCommand(const std::string& command) {
    if (channel_.send(command))
        return true;
    errorCode_ = channel_.lastError();
    lastReply_.clear();
    return false;
}

struct Pop3Connection::ReplyClock {
    Clock::time_point lastActivity = Clock::now();
    int receivesSinceReport = 0;
    size_t received = 0;
};

bool Pop3Connection::receiveMore(ReplyClock& clock) {
    const size_t got = receiveWithinIdleLimit(channel_, inbox_, kReceiveRoom, clock.lastActivity,
                                              timeout_, errorCode_);
    if (got == 0)
        return false;
    clock.received += got;
    if (taskId_ != -1 && ++clock.receivesSinceReport > kReceivesPerReport) {
        reportProgress(clock.received);
        clock.receivesSinceReport = 0;
        if (progressSink_ != nullptr && !progressSink_->shouldContinue(taskId_)) {
            // Cancelled: the rest of the reply is not wanted, and the
            // connection cannot be used again with it half read.
            channel_.close();
            connected_ = false;
            errorCode_ = kTransferCancelledCode;
            return false;
        }
    }
    return true;
}

bool Pop3Connection::readLine(std::string& line) {
    ReplyClock clock;
    size_t searched = 0;  // bytes known to hold no CRLF start
    while (true) {
        const char* text = inbox_.data();
        const size_t size = inbox_.size();
        for (size_t at = searched; at + 1 < size; ++at) {
            const char* cr = static_cast<const char*>(std::memchr(text + at, '\r', size - at - 1));
            if (cr == nullptr)
                break;
            at = static_cast<size_t>(cr - text);
            if (text[at + 1] != '\n')
                continue;
            line.assign(text, at);
            inbox_.consume(at + 2);
            if (strncasecmp(line.c_str(), "+OK", 3) == 0)
                return true;
            fail(kErrorBadReply, line.data(), line.size());
            return false;
        }
        // A CR at the very end may yet be followed by its LF.
        searched = size > 0 ? size - 1 : 0;
        if (!receiveMore(clock)) {
            if (errorCode_ == kTransferCancelledCode)
                lastReply_.clear();
            else
                lastReply_.assign(inbox_.data(), inbox_.size());
            return false;
        }
    }
}

bool Pop3Connection::readListing(MessageTextSink& sink) {
    ReplyClock clock;
    std::string status;  // the status line with its line break, for failures
    auto failWith = [&](size_t pendingFrom) {
        if (errorCode_ == kTransferCancelledCode) {
            lastReply_.clear();
            return false;
        }
        lastReply_ = status;
        lastReply_.append(sink.keptText());
        if (pendingFrom < inbox_.size())
            lastReply_.append(inbox_.data() + pendingFrom, inbox_.size() - pendingFrom);
        return false;
    };

    // The status line ends at its first line feed. A command answered with
    // an error gets that one line only: it is judged as soon as it is
    // complete instead of waiting for a listing end that never comes.
    size_t lineEnd = 0;
    while (true) {
        const void* feed = std::memchr(inbox_.data() + lineEnd, '\n', inbox_.size() - lineEnd);
        if (feed != nullptr) {
            lineEnd = static_cast<size_t>(static_cast<const char*>(feed) - inbox_.data());
            break;
        }
        lineEnd = inbox_.size();
        if (!receiveMore(clock))
            return failWith(0);
    }
    status.assign(inbox_.data(), lineEnd + 1);
    if (strncasecmp(status.c_str(), "+OK", 3) != 0) {
        inbox_.consume(lineEnd + 1);
        const size_t length = lineEnd > 0 && status[lineEnd - 1] == '\r' ? lineEnd - 1 : lineEnd;
        fail(kErrorBadReply, status.data(), length);
        return false;
    }

    // The end is the first CRLF "." CRLF; its first CRLF may be the status
    // line's own. Offsets below are into the unconsumed bytes, which start
    // at the earliest place the end could begin.
    const size_t first = lineEnd > 0 ? lineEnd - 1 : 0;
    inbox_.consume(first);
    size_t textFrom = lineEnd + 1 - first;  // the bytes before it are the status line's
    while (true) {
        const char* text = inbox_.data();
        const size_t size = inbox_.size();
        // Every end holds a "." after a CRLF; message bodies (base64 above
        // all) hold few dots, so they are looked for first.
        for (size_t at = 2; at < size;) {
            const char* dot = static_cast<const char*>(std::memchr(text + at, '.', size - at));
            if (dot == nullptr)
                break;
            const size_t d = static_cast<size_t>(dot - text);
            at = d + 1;
            if (d < 2 || text[d - 2] != '\r' || text[d - 1] != '\n')
                continue;
            if (d + 2 >= size)
                break;  // the rest decides; it is kept below
            if (text[d + 1] != '\r' || text[d + 2] != '\n')
                continue;
            const size_t end = d - 2;
            if (end > textFrom)
                sink.append(std::string_view(text + textFrom, end - textFrom));
            inbox_.consume(d + 3);
            return true;
        }
        // The last four bytes may begin the end: they wait for more.
        const size_t keep = size >= 4 ? size - 4 : 0;
        if (keep > textFrom) {
            sink.append(std::string_view(text + textFrom, keep - textFrom));
            inbox_.consume(keep);
            textFrom = 0;
        }
        if (!receiveMore(clock))
            return failWith(textFrom);
    }
}

void Pop3Connection::reportProgress(size_t received) {
    if (progressSink_ == nullptr || expectedSize_ == 0)
        return;
    // Reported also in the first second, as the SMTP client does; the speed
    // is known once a second has passed.
    const auto elapsed = static_cast<long>(std::time(nullptr) - startTime_);
    const float percent = static_cast<float>(received * 100 / expectedSize_);
    const long speed = elapsed > 0 ? static_cast<long>(received) / elapsed : 0;
    progressSink_->report(taskId_, percent, speed, false);
}

bool Pop3Connection::ReadCommandResponse() {
    std::string line;
    return readLine(line);
}

bool Pop3Connection::ReadStatResponse(int& count, int& totalSize) {
    std::string line;
    if (!readLine(line))
        return false;
    // The STAT reply alone must say +OK in capitals.
    if (line.compare(0, 3, "+OK") != 0) {
        fail(kErrorBadReply, line.data(), line.size());
        return false;
    }
    const auto numbers = numbersAfterBlanks(line.data(), line.size());
    if (numbers.size() < 2) {
        fail(kErrorBadReply, line.data(), line.size());
        return false;
    }
    count = static_cast<int>(numbers[0]);
    totalSize = static_cast<int>(numbers[1]);
    messageCount_ = count;
    return true;
}

bool Pop3Connection::ReadListResponse(int count) {
    std::string text;
    StringTextSink sink(text);
    if (!readListing(sink))
        return false;
    messageSizes_.clear();
    // The count is the server's word from STAT: room for no more entries
    // than the listing received can hold ("n size" CRLF is at least five
    // bytes), so a hostile count cannot make us allocate gigabytes.
    const size_t listed = text.size() / 5 + 1;
    messageSizes_.reserve(std::min(static_cast<size_t>(std::max(count, 0)), listed));
    for (unsigned long size : numbersAfterBlanks(text.data(), text.size())) {
        messageSizes_.push_back(static_cast<uint32_t>(size));
    }
    return true;
}

bool Pop3Connection::ReadMessageResponse(size_t size, std::string& text) {
    std::string received;
    StringTextSink sink(received);
    sink.expect(size);
    if (!readListing(sink))
        return false;
    text = std::move(received);
    return true;
}

bool Pop3Connection::Connect(const std::string& host, const std::string& user,
                             const std::string& password, int port) {
    // Refused before anything goes out: a value that does not fit the command,
    // or one that would end the command early and smuggle in another.
    loginRefused_ = false;
    // A token goes in an AUTH line of its own, which has room for one.
    if ((!bearer_ &&
         (user.size() > kMaxCredentialLength || password.size() > kMaxCredentialLength)) ||
        hasLineBreakOrNul(user) || hasLineBreakOrNul(password)) {
        errorCode_ = kErrorInvalidArgument;
        lastReply_.clear();
        return false;
    }
    if (!channel_.create() || !channel_.connect(host, port)) {
        errorCode_ = channel_.lastError();
        return false;
    }
    if (tls_.mode == TlsMode::Implicit && !secure(host))
        return false;
    connected_ = true;
    if (!ReadCommandResponse()) {
        const int code = errorCode_;
        const std::string reply = lastReply_;
        Disconnect();
        errorCode_ = code;
        lastReply_ = reply;
        return false;
    }
    bool secured = tls_.mode == TlsMode::Implicit;
    bool upgrade = tls_.mode == TlsMode::StartTls;
    if (tls_.mode == TlsMode::StartTlsIfOffered) {
        bool offered = false;
        if (!stlsOffered(offered)) {
            const int code = errorCode_;
            const std::string reply = lastReply_;
            Disconnect();
            errorCode_ = code;
            lastReply_ = reply;
            return false;
        }
        upgrade = offered;
    }
    if (upgrade) {
        if (!sendCommand("STLS\r\n") || !ReadCommandResponse()) {
            // Nothing secret has gone out; the credentials never will in the clear.
            const std::string reply = lastReply_;
            connected_ = false;
            channel_.close();
            errorCode_ = kErrorSecureChannel;
            lastReply_ = "POP3 server " + host + " did not start TLS (STLS): " + reply;
            return false;
        }
        if (!secure(host))
            return false;
        secured = true;
    }
    if (!loginMayGoOut(tls_, secured)) {
        // Nothing secret has gone out, and nothing will: the user is told
        // why, in words both clients show as they are.
        Disconnect();
        errorCode_ = kErrorPlaintextRefused;
        lastReply_ = plaintextLoginRefusal("POP3", host, port);
        return false;
    }
    const bool loggedIn = bearer_ ? authenticateWithToken(host, port, user, password)
                                  : sendCommand("USER " + user + "\r\n") && ReadCommandResponse() &&
                                        sendCommand("PASS " + password + "\r\n") &&
                                        ReadCommandResponse();
    if (!loggedIn) {
        // Keep the failure that ended the login, not the QUIT's.
        const int code = errorCode_;
        std::string reply = lastReply_;
        maskSecret(reply, password);
        Disconnect();
        errorCode_ = code;
        lastReply_ = reply;
        return false;
    }
    return true;
}

bool Pop3Connection::authenticateWithToken(const std::string& host, int port,
                                           const std::string& user, const std::string& token) {
    // The SASL line of CAPA names the mechanisms; a listing that runs on is
    // kept only as far as a capability list ever goes.
    class CapabilitySink : public MessageTextSink {
      public:
        void append(std::string_view bytes) override {
            if (text.size() < 64 * 1024)
                text.append(bytes.substr(0, 64 * 1024 - text.size()));
        }
        std::string text;
    } capabilities;
    if (!sendCommand("CAPA\r\n") || !readListing(capabilities))
        return false;
    std::vector<std::string> offered;
    size_t start = 0;
    while (start < capabilities.text.size()) {
        size_t end = capabilities.text.find('\n', start);
        if (end == std::string::npos)
            end = capabilities.text.size();
        std::string line = capabilities.text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() < 5 || strncasecmp(line.c_str(), "SASL ", 5) != 0)
            continue;
        for (size_t at = 5; at < line.size();) {
            size_t next = line.find(' ', at);
            if (next == std::string::npos)
                next = line.size();
            if (next > at)
                offered.push_back(line.substr(at, next - at));
            at = next + 1;
        }
    }
    const OAuthMechanism mechanism = chooseOAuthMechanism(offered);
    if (mechanism == OAuthMechanism::None) {
        const std::string text =
            "the POP3 server takes no OAuth 2 token (its CAPA lists neither SASL OAUTHBEARER nor "
            "XOAUTH2)";
        fail(kErrorBadReply, text.data(), text.size());
        return false;
    }
    if (!sendCommand(std::string("AUTH ") + oauthMechanismName(mechanism) + " " +
                     oauthInitialResponse(mechanism, user, token, host, port) + "\r\n"))
        return false;
    if (ReadCommandResponse())
        return true;
    if (errorCode_ != kErrorBadReply)
        return false;
    if (lastReply_.rfind("+ ", 0) == 0 || lastReply_ == "+") {
        // The server's error document, acknowledged; its refusal follows.
        const std::string why =
            oauthChallengeText(lastReply_.size() > 2 ? lastReply_.substr(2) : "");
        if (!sendCommand(std::string(oauthErrorAcknowledgement(mechanism)) + "\r\n"))
            return false;
        if (ReadCommandResponse())
            return true;
        if (errorCode_ != kErrorBadReply)
            return false;
        if (!why.empty())
            lastReply_ += " (" + why + ")";
    }
    loginRefused_ = true;
    return false;
}

bool Pop3Connection::stlsOffered(bool& offered) {
    // CAPA is optional in POP3: a server that refuses it offers no STLS.
    offered = false;
    std::string listing;
    StringTextSink sink(listing);
    if (!sendCommand("CAPA\r\n"))
        return false;
    if (!readListing(sink))
        return errorCode_ == kErrorBadReply;
    offered = listsStls(listing);
    return true;
}

bool Pop3Connection::secure(const std::string& host) {
    const auto limit = std::min<std::chrono::milliseconds::rep>(timeout_.count(), 1 << 30);
    if (channel_.startTls(host, tls_.caFile, static_cast<int>(limit)))
        return true;
    // No QUIT: the server is in the middle of a handshake, not of POP3.
    errorCode_ = kErrorSecureChannel;
    lastReply_ = channel_.tlsFailure();
    connected_ = false;
    channel_.close();
    return false;
}

bool Pop3Connection::Disconnect() {
    bool result = false;
    if (connected_) {
        result = sendCommand("QUIT\r\n") && ReadCommandResponse();
        connected_ = false;
        sizesKnown_ = false;
        countKnown_ = false;
    }
    channel_.close();
    return result;
}

bool Pop3Connection::Statistics(int& count, int& totalSize) {
    return sendCommand("STAT\r\n") && ReadStatResponse(count, totalSize);
}

bool Pop3Connection::ensureListing() {
    int count = messageCount_;
    if (!countKnown_) {
        int totalSize = 0;
        if (!Statistics(count, totalSize))
            return false;
        countKnown_ = true;
    }
    sizesKnown_ = sendCommand("LIST\r\n") && ReadListResponse(count);
    return sizesKnown_;
}

bool Pop3Connection::validNumber(int number) {
    if (number >= 1 && static_cast<size_t>(number) <= messageSizes_.size())
        return true;
    // Not a message of this mailbox: nothing is sent for it.
    errorCode_ = kErrorInvalidArgument;
    lastReply_.clear();
    return false;
}

bool Pop3Connection::GetMessageSize(int number, uint32_t& size) {
    if (!sizesKnown_ && !ensureListing())
        return false;
    if (!validNumber(number))
        return false;
    size = messageSizes_[static_cast<size_t>(number) - 1];
    return true;
}

bool Pop3Connection::GetMessageHeader(int number, std::string& text) {
    uint32_t size = 0;
    if (!GetMessageSize(number, size))
        return false;
    return sendCommand("TOP " + std::to_string(number) + " 20\r\n") &&
           ReadMessageResponse(std::min<size_t>(size, kHeaderReservation), text);
}

bool Pop3Connection::retrieveInto(int number, MessageTextSink& sink) {
    // The size for progress comes from "LIST n", read as a whole line so
    // that nothing of it is left to mix into the message.
    std::string line;
    if (!sendCommand("LIST " + std::to_string(number) + "\r\n") || !readLine(line))
        return false;
    const size_t lastBlank = line.rfind(' ');
    expectedSize_ =
        lastBlank != std::string::npos
            ? static_cast<uint32_t>(std::strtoul(line.c_str() + lastBlank + 1, nullptr, 10))
            : 0;
    sink.expect(expectedSize_);
    const bool retrieved =
        sendCommand("RETR " + std::to_string(number) + "\r\n") && readListing(sink);
    // A session that retrieves one message after another measures each one's
    // speed from the end of the one before, not from the login.
    startTime_ = std::time(nullptr);
    return retrieved;
}

bool Pop3Connection::Retrieve(int number, std::string& text) {
    std::string received;
    StringTextSink sink(received);
    if (!retrieveInto(number, sink))
        return false;
    text = std::move(received);
    return true;
}

bool Pop3Connection::GetUniqueIds(std::vector<std::string>& ids) {
    ids.clear();
    std::string listing;
    StringTextSink sink(listing);
    if (!sendCommand("UIDL\r\n") || !readListing(sink))
        return false;
    const char* line = listing.data();
    const char* end = line + listing.size();
    while (line < end) {
        const char* next = static_cast<const char*>(std::memchr(line, '\n', end - line));
        const char* stop = next ? next : end;
        std::string entry(line, stop);
        if (!entry.empty() && entry.back() == '\r')
            entry.pop_back();
        // "n id": numbers run 1, 2, 3, ... and every id is one non-empty word.
        const size_t blank = entry.find(' ');
        const std::string id = blank == std::string::npos ? std::string() : entry.substr(blank + 1);
        if (blank == std::string::npos || id.empty() || id.find(' ') != std::string::npos ||
            entry.compare(0, blank, std::to_string(ids.size() + 1)) != 0) {
            ids.clear();
            fail(kErrorBadReply, listing.data(), listing.size());
            return false;
        }
        ids.push_back(id);
        line = stop + 1;
    }
    return true;
}

bool Pop3Connection::Delete(int number) {
    if (!sizesKnown_ && !ensureListing())
        return false;
    if (!validNumber(number))
        return false;
    return sendCommand("DELE " + std::to_string(number) + "\r\n") && ReadCommandResponse();
}

}  // namespace parvola
