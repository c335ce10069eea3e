#include "mail/imap_reply_reader.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "mail/message_text_sink.h"

namespace parvola {
namespace {

// A fetched message's literal: "BODY[]" (as BODY.PEEK[] is answered) right
// before the announcement, in any letter case.
bool announcesWholeMessage(std::string_view text) {
    const size_t brace = text.rfind('{');
    if (brace == std::string_view::npos)
        return false;
    std::string_view before = text.substr(0, brace);
    while (!before.empty() && before.back() == ' ')
        before.remove_suffix(1);
    constexpr std::string_view kBody = "BODY[]";
    return before.size() >= kBody.size() &&
           strncasecmp(before.data() + before.size() - kBody.size(), kBody.data(), kBody.size()) ==
               0;
}

}  // namespace

bool literalAnnouncement(std::string_view line, uint64_t& size) {
    if (line.empty() || line.back() != '}')
        return false;
    const size_t brace = line.rfind('{');
    if (brace == std::string_view::npos)
        return false;
    std::string_view digits = line.substr(brace + 1, line.size() - brace - 2);
    if (!digits.empty() && digits.back() == '+')
        digits.remove_suffix(1);
    if (digits.empty() || digits.size() > 15)
        return false;
    uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    size = value;
    return true;
}

ImapReplyReader::Step ImapReplyReader::fail(std::string why) {
    failed_ = true;
    failure_ = std::move(why);
    return Step::Failed;
}

void ImapReplyReader::startResponse() {
    response_ = ImapResponse();
    keptLiteralBytes_ = 0;
    started_ = true;
}

ImapReplyReader::Step ImapReplyReader::endLine() {
    if (response_.text.size() + line_.size() > kMaxLineLength)
        return fail("the server's reply line is longer than " + std::to_string(kMaxLineLength) +
                    " bytes");
    response_.text += line_;
    uint64_t size = 0;
    if (literalAnnouncement(line_, size)) {
        line_.clear();
        const bool untagged = response_.text.compare(0, 2, "* ") == 0;
        streaming_ = sink_ != nullptr && untagged && announcesWholeMessage(response_.text);
        if (streaming_) {
            ++response_.streamedLiterals;
            response_.literals.emplace_back();  // keeps the numbering of the others
            sink_->expect(static_cast<size_t>(std::min<uint64_t>(size, SIZE_MAX)));
        } else {
            if (size > kMaxKeptLiterals - keptLiteralBytes_)
                return fail("the server announced a literal of " + std::to_string(size) +
                            " bytes where a short value belongs");
            keptLiteralBytes_ += static_cast<size_t>(size);
            response_.literals.emplace_back();
            response_.literals.back().reserve(static_cast<size_t>(size));
        }
        inLiteral_ = true;
        literalLeft_ = size;
        return Step::NeedMore;
    }
    line_.clear();
    // The response is whole: its kind and tag come from its first word.
    std::string& text = response_.text;
    const size_t blank = text.find(' ');
    const std::string first = text.substr(0, blank);
    const size_t rest = blank == std::string::npos ? text.size() : blank + 1;
    if (first == "*") {
        response_.kind = ImapResponse::Kind::Untagged;
    } else if (first == "+") {
        response_.kind = ImapResponse::Kind::Continuation;
    } else if (!first.empty()) {
        response_.kind = ImapResponse::Kind::Tagged;
        response_.tag = first;
    } else if (text.empty()) {
        // "+" alone is a continuation without text; an empty line is nothing.
        return fail("the server sent an empty reply line");
    } else {
        return fail("the server's reply line begins with a blank");
    }
    text.erase(0, rest);
    started_ = false;
    return Step::Response;
}

ImapReplyReader::Step ImapReplyReader::feed(std::string_view& bytes) {
    if (failed_)
        return Step::Failed;
    while (!bytes.empty()) {
        if (!started_)
            startResponse();
        if (inLiteral_) {
            const size_t take = static_cast<size_t>(std::min<uint64_t>(literalLeft_, bytes.size()));
            if (streaming_) {
                sink_->append(bytes.substr(0, take));
                response_.streamedBytes += take;
            } else {
                response_.literals.back().append(bytes.data(), take);
            }
            bytes.remove_prefix(take);
            literalLeft_ -= take;
            if (literalLeft_ == 0) {
                inLiteral_ = false;
                streaming_ = false;
            }
            continue;
        }
        const void* feedChar = std::memchr(bytes.data(), '\n', bytes.size());
        const size_t end =
            feedChar == nullptr
                ? bytes.size()
                : static_cast<size_t>(static_cast<const char*>(feedChar) - bytes.data());
        if (response_.text.size() + line_.size() + end > kMaxLineLength)
            return fail("the server's reply line is longer than " + std::to_string(kMaxLineLength) +
                        " bytes");
        line_.append(bytes.data(), end);
        if (feedChar == nullptr) {
            bytes.remove_prefix(end);
            return Step::NeedMore;
        }
        bytes.remove_prefix(end + 1);
        if (!line_.empty() && line_.back() == '\r')
            line_.pop_back();
        const Step step = endLine();
        if (step != Step::NeedMore)
            return step;
    }
    return Step::NeedMore;
}

}  // namespace parvola
