#include "mail/pop3_connection.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mail/progress_sink.h"
#include "mail/secret_mask.h"

namespace parvola {
namespace {

using Clock = std::chrono::steady_clock;

// First buffers and growth steps of the readers. A message buffer is sized
// from the listing so a whole message normally arrives without growing.
constexpr size_t kLineBuffer = 1000;
constexpr size_t kStatBuffer = 100;
constexpr size_t kListPerMessage = 14;
constexpr size_t kSlack = 100;
constexpr size_t kSmallGrowth = 4096;
constexpr size_t kMessageGrowth = 32000;
// A size announced by the server is trusted for the first buffer only up to
// this much; a larger message still arrives whole, the buffer grows.
constexpr size_t kLargestFirstBuffer = 64u << 20;
// A header block with 20 body lines is a few KiB, however large the message:
// TOP never starts with a buffer the size of the whole message.
constexpr size_t kHeaderFirstBuffer = 16u << 10;
// First buffer per message of a UIDL listing ("n " and an id of up to 70).
constexpr size_t kUidlPerMessage = 32;
// Progress goes out at most once per this many receives (more than five).
constexpr int kReceivesPerReport = 5;

const std::string kLineEnd = "\r\n";
const std::string kListEnd = "\r\n.\r\n";

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

bool Pop3Connection::ReadResponse(std::vector<char>& buffer, size_t capacity,
                                  const std::string& terminator, size_t growth, size_t& length) {
    length = 0;
    buffer.assign(capacity, '\0');
    auto lastActivity = Clock::now();
    int receivesSinceReport = 0;
    size_t firstLineEnd = std::string::npos;
    while (true) {
        const auto idle =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastActivity);
        if (idle > timeout_) {
            fail(kErrorTimedOut, buffer.data(), length);
            return false;
        }
        // Wait on the time that is left: a reply that has arrived is read at once.
        const int readable = channel_.waitReadable(static_cast<int>((timeout_ - idle).count()) + 1);
        if (readable < 0) {
            fail(channel_.lastError(), buffer.data(), length);
            return false;
        }
        if (readable == 0)
            continue;

        const size_t room = capacity > length + 1 ? capacity - length - 1 : 0;
        const ssize_t got = channel_.receive(buffer.data() + length, room);
        if (got <= 0) {
            // Closed by the server (or a receive error) in the middle of a reply.
            fail(got < 0 ? channel_.lastError() : kErrorConnectionReset, buffer.data(), length);
            return false;
        }
        lastActivity = Clock::now();
        length += static_cast<size_t>(got);
        if (taskId_ != -1 && ++receivesSinceReport > kReceivesPerReport) {
            reportProgress(length);
            receivesSinceReport = 0;
            if (progressSink_ != nullptr && !progressSink_->shouldContinue(taskId_)) {
                // Cancelled: the rest of the reply is not wanted, and the
                // connection cannot be used again with it half read.
                channel_.close();
                connected_ = false;
                errorCode_ = kTransferCancelledCode;
                lastReply_.clear();
                return false;
            }
        }
        buffer[length] = '\0';
        if (static_cast<size_t>(got) == room) {
            capacity += growth;
            buffer.resize(capacity, '\0');
        }

        const char* text = buffer.data();
        if (length >= terminator.size() && std::memcmp(text + length - terminator.size(),
                                                       terminator.data(), terminator.size()) == 0) {
            length -= terminator.size();
            buffer[length] = '\0';
            if (strncasecmp(text, "+OK", 3) == 0)
                return true;
            fail(kErrorBadReply, text, length);
            return false;
        }
        // A multi-line command answered with an error gets a one-line reply
        // only: judge it as soon as its line is complete instead of waiting
        // for a listing end that never comes.
        if (terminator != kLineEnd && firstLineEnd == std::string::npos) {
            const char* end = static_cast<const char*>(std::memchr(text, '\n', length));
            if (end != nullptr) {
                firstLineEnd = static_cast<size_t>(end - text);
                if (strncasecmp(text, "+OK", 3) != 0) {
                    fail(kErrorBadReply, text,
                         firstLineEnd > 0 && text[firstLineEnd - 1] == '\r' ? firstLineEnd - 1
                                                                            : firstLineEnd);
                    return false;
                }
            }
        }
    }
}

void Pop3Connection::reportProgress(size_t received) {
    if (progressSink_ == nullptr || expectedSize_ == 0)
        return;
    const std::time_t now = std::time(nullptr);
    if (now == startTime_)
        return;
    const float percent = static_cast<float>(received * 100 / expectedSize_);
    const long speed = static_cast<long>(received) / static_cast<long>(now - startTime_);
    progressSink_->report(taskId_, percent, speed, false);
}

bool Pop3Connection::ReadCommandResponse() {
    std::vector<char> buffer;
    size_t length = 0;
    return ReadResponse(buffer, kLineBuffer, kLineEnd, kSmallGrowth, length);
}

bool Pop3Connection::ReadStatResponse(int& count, int& totalSize) {
    std::vector<char> buffer;
    size_t length = 0;
    if (!ReadResponse(buffer, kStatBuffer, kLineEnd, kSmallGrowth, length))
        return false;
    // The STAT reply alone must say +OK in capitals.
    if (std::strncmp(buffer.data(), "+OK", 3) != 0) {
        fail(kErrorBadReply, buffer.data(), length);
        return false;
    }
    const auto numbers = numbersAfterBlanks(buffer.data(), length);
    if (numbers.size() < 2) {
        fail(kErrorBadReply, buffer.data(), length);
        return false;
    }
    count = static_cast<int>(numbers[0]);
    totalSize = static_cast<int>(numbers[1]);
    messageCount_ = count;
    return true;
}

bool Pop3Connection::ReadListResponse(int count) {
    std::vector<char> buffer;
    size_t length = 0;
    const size_t first = static_cast<size_t>(std::max(count, 0)) * kListPerMessage + kSlack;
    if (!ReadResponse(buffer, std::min(first, kLargestFirstBuffer), kListEnd, kSmallGrowth,
                      length)) {
        return false;
    }
    messageSizes_.clear();
    messageSizes_.reserve(static_cast<size_t>(std::max(count, 0)));
    const char* text = buffer.data();
    const char* lineEnd = static_cast<const char*>(std::memchr(text, '\n', length));
    if (lineEnd == nullptr)
        return true;  // only the status line: no messages
    const size_t skip = static_cast<size_t>(lineEnd - text) + 1;
    for (unsigned long size : numbersAfterBlanks(text + skip, length - skip)) {
        messageSizes_.push_back(static_cast<uint32_t>(size));
    }
    return true;
}

bool Pop3Connection::ReadMessageResponse(size_t size, std::string& text) {
    std::vector<char> buffer;
    size_t length = 0;
    if (!ReadResponse(buffer, std::min(size + kSlack, kLargestFirstBuffer), kListEnd,
                      kMessageGrowth, length)) {
        return false;
    }
    // The message starts after the status line.
    const char* lineEnd = static_cast<const char*>(std::memchr(buffer.data(), '\n', length));
    const size_t start =
        lineEnd == nullptr ? length : static_cast<size_t>(lineEnd - buffer.data()) + 1;
    text.assign(buffer.data() + start, length - start);
    return true;
}

bool Pop3Connection::Connect(const std::string& host, const std::string& user,
                             const std::string& password, int port) {
    // Refused before anything goes out: a value that does not fit the command,
    // or one that would end the command early and smuggle in another.
    if (user.size() > kMaxCredentialLength || password.size() > kMaxCredentialLength ||
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
    if (tls_.mode == TlsMode::StartTls) {
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
    }
    if (!sendCommand("USER " + user + "\r\n") || !ReadCommandResponse() ||
        !sendCommand("PASS " + password + "\r\n") || !ReadCommandResponse()) {
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
           ReadMessageResponse(std::min<size_t>(size, kHeaderFirstBuffer), text);
}

bool Pop3Connection::Retrieve(int number, std::string& text) {
    // The size for the buffer and for progress comes from "LIST n", read as
    // a whole line so that nothing of it is left to mix into the message.
    std::vector<char> buffer;
    size_t length = 0;
    if (!sendCommand("LIST " + std::to_string(number) + "\r\n") ||
        !ReadResponse(buffer, kLineBuffer, kLineEnd, kSmallGrowth, length)) {
        return false;
    }
    const char* lastBlank = nullptr;
    for (size_t i = 0; i < length; ++i) {
        if (buffer[i] == ' ')
            lastBlank = buffer.data() + i;
    }
    expectedSize_ = lastBlank ? static_cast<uint32_t>(std::strtoul(lastBlank + 1, nullptr, 10)) : 0;
    const bool retrieved = sendCommand("RETR " + std::to_string(number) + "\r\n") &&
                           ReadMessageResponse(expectedSize_, text);
    // A session that retrieves one message after another measures each one's
    // speed from the end of the one before, not from the login.
    startTime_ = std::time(nullptr);
    return retrieved;
}

bool Pop3Connection::GetUniqueIds(std::vector<std::string>& ids) {
    ids.clear();
    std::vector<char> buffer;
    size_t length = 0;
    const size_t first = static_cast<size_t>(std::max(messageCount_, 0)) * kUidlPerMessage + kSlack;
    if (!sendCommand("UIDL\r\n") || !ReadResponse(buffer, std::min(first, kLargestFirstBuffer),
                                                  kListEnd, kSmallGrowth, length)) {
        return false;
    }
    const char* text = buffer.data();
    const char* end = text + length;
    const char* line = static_cast<const char*>(std::memchr(text, '\n', length));
    if (line == nullptr)
        return true;  // only the status line: no messages
    ++line;
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
            fail(kErrorBadReply, text, length);
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
