#include "mail/composed_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "mail/base64.h"
#include "mail/mime_composer_encoding.h"
#include "platform/system_hooks.h"

namespace parvola {
namespace {

constexpr size_t kBytesPerLine = kMimeLineLimit / 4 * 3;  // 57
// A slice of the file encoded at a time: 1,024 lines, some 58 KB read and
// 80 KB of text, small enough to stay in the cache while it is sent.
constexpr size_t kLinesPerSlice = 1024;
constexpr size_t kSliceInput = kBytesPerLine * kLinesPerSlice;
constexpr size_t kSliceOutput = (kMimeLineLimit + 2) * kLinesPerSlice;

}  // namespace

uint64_t wrappedBase64Length(uint64_t fileBytes) {
    const uint64_t encoded = (fileBytes + 2) / 3 * 4;
    return encoded == 0 ? 0 : encoded + 2 * ((encoded - 1) / kMimeLineLimit);
}

struct ComposedText::Segment {
    Segment() = default;
    Segment(Segment&& other) noexcept
        : text(std::move(other.text)),
          fd(std::exchange(other.fd, -1)),
          fileBytes(other.fileBytes),
          encodedBytes(other.encodedBytes),
          fileRead(other.fileRead),
          encodeStarted(other.encodeStarted) {}
    Segment& operator=(Segment&& other) noexcept {
        if (this != &other) {
            closeFile();
            text = std::move(other.text);
            fd = std::exchange(other.fd, -1);
            fileBytes = other.fileBytes;
            encodedBytes = other.encodedBytes;
            fileRead = other.fileRead;
            encodeStarted = other.encodeStarted;
        }
        return *this;
    }
    ~Segment() { closeFile(); }
    void closeFile() {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    bool isFile() const { return fd >= 0; }
    uint64_t length() const { return isFile() ? encodedBytes : text.size(); }

    std::string text;  // a text segment's bytes
    int fd = -1;       // a file segment's open file
    uint64_t fileBytes = 0;
    uint64_t encodedBytes = 0;
    uint64_t fileRead = 0;  // bytes of the file encoded so far
    unsigned long encodeStarted = 0;
};

ComposedText::ComposedText() = default;
ComposedText::~ComposedText() = default;
ComposedText::ComposedText(ComposedText&&) noexcept = default;
ComposedText& ComposedText::operator=(ComposedText&&) noexcept = default;

void ComposedText::append(std::string_view text) {
    if (text.empty())
        return;
    if (segments_.empty() || segments_.back().isFile())
        segments_.emplace_back();
    segments_.back().text.append(text);
    size_ += text.size();
}

bool ComposedText::appendFileAsBase64(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    Segment segment;
    segment.fd = fd;
    segment.fileBytes = static_cast<uint64_t>(info.st_size);
    segment.encodedBytes = wrappedBase64Length(segment.fileBytes);
    size_ += segment.encodedBytes;
    segments_.push_back(std::move(segment));
    return true;
}

void ComposedText::truncate(uint64_t mark) {
    while (size_ > mark && !segments_.empty() && !segments_.back().isFile()) {
        Segment& last = segments_.back();
        const uint64_t drop = std::min<uint64_t>(size_ - mark, last.text.size());
        last.text.resize(last.text.size() - drop);
        size_ -= drop;
        if (last.text.empty())
            segments_.pop_back();
    }
}

bool ComposedText::rewind() {
    segment_ = 0;
    offset_ = 0;
    encodedLength_ = 0;
    encodedOffset_ = 0;
    for (Segment& segment : segments_)
        segment.fileRead = 0;
    return true;
}

long ComposedText::read(char* buffer, size_t capacity) {
    size_t filled = 0;
    while (filled < capacity && segment_ < segments_.size()) {
        Segment& segment = segments_[segment_];
        if (segment.isFile()) {
            const long got = readFileSegment(segment, buffer + filled, capacity - filled);
            if (got < 0)
                return -1;
            filled += static_cast<size_t>(got);
        } else {
            const size_t n = static_cast<size_t>(
                std::min<uint64_t>(capacity - filled, segment.text.size() - offset_));
            std::memcpy(buffer + filled, segment.text.data() + offset_, n);
            offset_ += n;
            filled += n;
        }
        if (offset_ == segment.length()) {
            ++segment_;
            offset_ = 0;
        }
    }
    return static_cast<long>(filled);
}

long ComposedText::readFileSegment(Segment& segment, char* buffer, size_t capacity) {
    if (encodedOffset_ == encodedLength_ && offset_ < segment.encodedBytes &&
        !encodeNextSlice(segment))
        return -1;
    const size_t n = std::min(capacity, encodedLength_ - encodedOffset_);
    if (n == 0)
        return 0;  // an empty file: nothing was encoded, and there is no slice yet
    std::memcpy(buffer, encoded_.get() + encodedOffset_, n);
    encodedOffset_ += n;
    offset_ += n;
    return static_cast<long>(n);
}

bool ComposedText::encodeNextSlice(Segment& segment) {
    if (!input_) {
        input_ = std::make_unique_for_overwrite<char[]>(kSliceInput);
        encoded_ = std::make_unique_for_overwrite<char[]>(kSliceOutput);
    }
    const uint64_t want = std::min<uint64_t>(kSliceInput, segment.fileBytes - segment.fileRead);
    size_t got = 0;
    while (got < want) {
        const ssize_t n = ::pread(segment.fd, input_.get() + got, want - got,
                                  static_cast<off_t>(segment.fileRead + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;  // unreadable, or shorter than when the mail was composed
        got += static_cast<size_t>(n);
    }
    if (segment.fileRead == 0)
        segment.encodeStarted = tickCountMs();
    char* out = encoded_.get();
    for (size_t at = 0; at < got; at += kBytesPerLine) {
        const size_t n = std::min(kBytesPerLine, got - at);
        out += base64EncodeTo(input_.get() + at, n, out);
        // Every line but the file's last ends in a line break.
        if (segment.fileRead + at + n < segment.fileBytes) {
            *out++ = '\r';
            *out++ = '\n';
        }
    }
    segment.fileRead += got;
    encodedLength_ = static_cast<size_t>(out - encoded_.get());
    encodedOffset_ = 0;
    if (segment.fileRead == segment.fileBytes) {
        char line[64];
        std::snprintf(line, sizeof line, "Encoding took %lums",
                      tickCountMs() - segment.encodeStarted);
        debugOutput(line);
    }
    return true;
}

bool ComposedText::readAll(std::string& out) {
    out.clear();
    if (!rewind())
        return false;
    out.resize(static_cast<size_t>(size_));
    const long got = readFully(*this, out.data(), out.size());
    if (got < 0 || static_cast<uint64_t>(got) != size_) {
        out.clear();
        return false;
    }
    return true;
}

}  // namespace parvola
