#pragma once
// Everything a mail provider can read in a test user's Maildir: each
// message's bytes as stored, plus every run of base64 lines decoded and every
// RFC 2047 "B" encoded word of the headers decoded. What the tests look for
// must be in none of it.
#include <filesystem>
#include <string>
#include <vector>

#include "mail/base64.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"

namespace parvola::test {

struct ReadableMessage {
    std::string path;
    std::string raw;
    std::vector<std::string> decoded;  // each base64 run and encoded word
};

inline bool isBase64Line(const std::string& line) {
    if (line.empty())
        return false;
    for (char c : line) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  c == '+' || c == '/' || c == '=';
        if (!ok)
            return false;
    }
    return true;
}

inline ReadableMessage readableMessage(const std::filesystem::path& path) {
    ReadableMessage message{path.string(), readFile(path), {}};
    std::string run;
    auto flush = [&] {
        std::string bytes;
        if (run.size() >= 4 && base64Decode(run, bytes))
            message.decoded.push_back(bytes);
        run.clear();
    };
    size_t start = 0;
    while (start <= message.raw.size()) {
        size_t end = message.raw.find('\n', start);
        std::string line = message.raw.substr(start, end == std::string::npos ? end : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (isBase64Line(line))
            run += line;
        else
            flush();
        for (size_t at = line.find("?B?"); at != std::string::npos; at = line.find("?B?", at + 3)) {
            size_t close = line.find("?=", at + 3);
            std::string bytes;
            if (close != std::string::npos &&
                base64Decode(line.substr(at + 3, close - at - 3), bytes))
                message.decoded.push_back(bytes);
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    flush();
    return message;
}

inline std::vector<ReadableMessage> readableMaildir(const std::string& user) {
    std::vector<ReadableMessage> messages;
    for (const char* sub : {"new", "cur"}) {
        const std::filesystem::path dir = std::filesystem::path(MailStack::maildir(user)) / sub;
        if (!std::filesystem::is_directory(dir))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            messages.push_back(readableMessage(entry.path()));
    }
    return messages;
}

// Where in the Maildir `needle` can be read: "<file> raw" or "<file> decoded".
inline std::vector<std::string> findReadable(const std::vector<ReadableMessage>& messages,
                                             const std::string& needle) {
    std::vector<std::string> found;
    for (const ReadableMessage& message : messages) {
        if (message.raw.find(needle) != std::string::npos)
            found.push_back(message.path + " raw");
        for (const std::string& decoded : message.decoded) {
            if (decoded.find(needle) != std::string::npos)
                found.push_back(message.path + " decoded");
        }
    }
    return found;
}

}  // namespace parvola::test
