#include "mail/mime_attachment_writer.h"

#include <strings.h>

#include <cstring>
#include <filesystem>

#include "mail/mime_reader_file_name.h"
#include "mail/mime_reader_text.h"
#include "mail/piece_digest.h"

namespace parvola {
namespace {

constexpr size_t kLineLimit = 1023;
// Decoded bytes go to the file in blocks of about this size.
constexpr size_t kWriteBlock = 1u << 20;

const std::string kHeaderEnd = "\r\n\r\n";
const std::string kDispositionWithName = "Content-Disposition: attachment; filename=";
const std::string kDisposition = "Content-Disposition: attachment;";
const std::string kFirstPartDisposition = "Content-Disposition: attachment";
const std::string kFilename = "filename=";
const std::string kTabFilename = "\tfilename=";
const std::string kTransferEncoding = "Content-Transfer-Encoding:";

bool startsWith(std::string_view line, std::string_view prefix) {
    return line.substr(0, prefix.size()) == prefix;
}

bool startsWithAnyCase(std::string_view line, const std::string& prefix) {
    return line.size() >= prefix.size() &&
           strncasecmp(line.data(), prefix.c_str(), prefix.size()) == 0;
}

bool endsHeaderBlock(std::string_view line) {
    return line.empty() || line[0] == '\n' || line[0] == '\r';
}

// The name after the prefix and the opening quotation mark, without the
// line's last two characters (its "\r\n"). False when the line holds no name.
bool nameFromLine(std::string_view line, size_t prefixLength, std::string& name) {
    name = line.substr(std::min(line.size(), prefixLength + 1));
    if (name.empty())
        return false;
    name.resize(name.size() >= 2 ? name.size() - 2 : 0);
    return true;
}

// Keeps the transfer encoding named by a part's header line; a boundary line
// starts a new part, which has named none yet.
void noteEncoding(std::string_view line, bool isBoundary, std::string& encoding) {
    if (isBoundary)
        encoding.clear();
    else if (startsWithAnyCase(line, kTransferEncoding))
        encoding = line.substr(kTransferEncoding.size());
}

}  // namespace

AttachmentWriter::AttachmentWriter(std::string folder) : folder_(std::move(folder)) {}

AttachmentWriter::AttachmentWriter(AttachmentOutput& output) : output_(&output) {}

AttachmentWriter::~AttachmentWriter() = default;

void AttachmentWriter::stop(int result) {
    result_ = result;
    state_ = State::Done;
    file_.reset();  // an unfinished file goes with its temporary name
    streaming_ = false;
    decoder_.reset();
    sha_.reset();
    firstLines_.clear();
}

bool AttachmentWriter::isBoundary(std::string_view line) const {
    return startsWith(line, boundaryLine_);
}

void AttachmentWriter::append(std::string_view bytes) {
    if (state_ == State::Done)
        return;
    try {
        if (state_ == State::Header)
            takeHeader(bytes);
        if (state_ != State::Header && state_ != State::Done)
            splitLines(bytes);
    } catch (...) {
        stop(-1);
    }
}

void AttachmentWriter::takeHeader(std::string_view& bytes) {
    const size_t before = header_.size();
    header_.append(bytes);
    const size_t end = header_.find(kHeaderEnd, before >= 3 ? before - 3 : 0);
    if (end == std::string::npos) {
        bytes = {};
        return;
    }
    bytes.remove_prefix(end + kHeaderEnd.size() - before);
    header_.resize(end);
    const MimeMessageText message(std::move(header_));
    header_ = std::string();
    // Only the first attachment is the piece the digest is of.
    digest_ = message.GetHeaderField(kPieceDigestHeader, 0);
    const std::string boundary = message.GetBoundary();
    if (message.GetContentType() != "multipart/mixed" || boundary.empty()) {
        // Nothing is written from such a mail; the rest of it is only read.
        stop(0);
        return;
    }
    boundaryLine_ = "--" + boundary;
    state_ = State::FirstBoundary;
}

void AttachmentWriter::splitLines(std::string_view bytes) {
    while (!bytes.empty() && state_ != State::Done) {
        // A line piece ends at its line feed or after kLineLimit bytes.
        const size_t want = kLineLimit - line_.size();
        const size_t look = std::min(want, bytes.size());
        const void* feed = std::memchr(bytes.data(), '\n', look);
        size_t take;
        if (feed != nullptr)
            take = static_cast<size_t>(static_cast<const char*>(feed) - bytes.data()) + 1;
        else if (bytes.size() >= want)
            take = want;
        else {
            line_.append(bytes);  // the line goes on in the next piece
            return;
        }
        if (line_.empty()) {
            onLine(bytes.substr(0, take));
        } else {
            line_.append(bytes.substr(0, take));
            const std::string line = std::move(line_);
            line_.clear();
            onLine(line);
        }
        bytes.remove_prefix(take);
    }
}

void AttachmentWriter::onLine(std::string_view line) {
    switch (state_) {
        case State::FirstBoundary:
            // The first part may be the attachment itself (a mail with no
            // text part): the scan then starts again from the first line.
            firstLines_.emplace_back(line);
            if (isBoundary(line))
                state_ = State::FirstHeaders;
            return;
        case State::FirstHeaders:
            firstLines_.emplace_back(line);
            if (!endsHeaderBlock(line)) {
                if (startsWith(line, kFirstPartDisposition))
                    firstIsAttachment_ = true;
                return;
            }
            if (firstIsAttachment_) {
                replayFirstLines();
            } else {
                firstLines_.clear();
                state_ = State::FirstRest;
            }
            return;
        case State::FirstRest:
            if (isBoundary(line))
                state_ = State::PartHeaders;
            return;
        default:
            onPartLine(line);
    }
}

// The first part turned out to be the attachment itself: its lines, held
// back while that was unknown, are read again as a part.
void AttachmentWriter::replayFirstLines() {
    state_ = State::PartHeaders;
    const std::vector<std::string> lines = std::move(firstLines_);
    firstLines_.clear();
    for (const auto& again : lines) {
        if (state_ == State::Done)
            break;
        onPartLine(again);
    }
}

void AttachmentWriter::onPartLine(std::string_view line) {
    switch (state_) {
        case State::PartHeaders:
            if (endsHeaderBlock(line))
                return;
            noteEncoding(line, isBoundary(line), encoding_);
            if (startsWithAnyCase(line, kDispositionWithName)) {
                if (!nameFromLine(line, kDispositionWithName.size(), wireName_))
                    stop(0);
                else
                    state_ = State::RestOfHeaders;
            } else if (startsWithAnyCase(line, kDisposition)) {
                state_ = State::FilenameLine;
            }
            return;
        case State::FilenameLine: {
            bool named;
            if (startsWithAnyCase(line, kFilename)) {
                named = nameFromLine(line, kFilename.size(), wireName_);
            } else if (startsWithAnyCase(line, kTabFilename)) {
                named = nameFromLine(line, kTabFilename.size(), wireName_);
            } else {
                state_ = State::SkipToBoundary;
                return;
            }
            if (!named)
                stop(0);
            else
                state_ = State::RestOfHeaders;
            return;
        }
        case State::RestOfHeaders:
            if (endsHeaderBlock(line)) {
                openPart();
                state_ = State::Body;
            } else {
                noteEncoding(line, false, encoding_);
            }
            return;
        case State::Body:
            if (isBoundary(line)) {
                if (closePart(true))
                    state_ = State::PartHeaders;
                return;
            }
            if (file_ || streaming_) {
                decoder_->feed(line, decoded_);
                if (decoded_.size() >= kWriteBlock)
                    flushDecoded();
            }
            return;
        case State::SkipToBoundary:
            if (isBoundary(line))
                state_ = State::PartHeaders;
            return;
        default:
            return;
    }
}

void AttachmentWriter::openPart() {
    decoder_ = std::make_unique<PartBodyDecoder>(PartBodyDecoder::kindFor(encoding_));
    decoded_.clear();
    if (output_ != nullptr) {
        // The piece is the first attachment; whatever else a mail carries
        // is read past.
        if (streamed_)
            return;
        streamed_ = true;
        streaming_ = true;
        outputFailed_ = !output_->begin();
        if (!digest_.empty())
            sha_ = std::make_unique<Sha256Stream>();
        decoded_.reserve(kWriteBlock + 4096);
        return;
    }
    // A name that cannot be made safe, or a file that cannot be created,
    // skips this part's body; the scan goes on.
    const std::string name = safeAttachmentName(wireName_);
    if (name.empty())
        return;
    file_ = std::make_unique<MimePartFile>(std::filesystem::path(folder_) / name);
    if (!file_->isOpen()) {
        file_.reset();
        return;
    }
    if (!digest_.empty())
        sha_ = std::make_unique<Sha256Stream>();
    decoded_.reserve(kWriteBlock + 4096);
}

void AttachmentWriter::flushDecoded() {
    if (streaming_ && !decoded_.empty()) {
        if (sha_)
            sha_->update(decoded_);
        // A refused block ends what the output takes, not the reading: the
        // digest still tells a changed mail from a refusal of the output's own.
        if (!outputFailed_)
            outputFailed_ = !output_->write(decoded_);
    }
    if (file_ && !decoded_.empty()) {
        if (sha_)
            sha_->update(decoded_);
        file_->write(decoded_);
    }
    decoded_.clear();
}

bool AttachmentWriter::digestMatches(const std::string& name) {
    if (digest_.empty())
        return true;
    // A store mail names the SHA-256 of its piece: a changed piece must
    // never be joined into the user's file.
    const std::string actual = sha_ ? sha_->finishHex() : std::string();
    if (!actual.empty() && strcasecmp(actual.c_str(), digest_.c_str()) == 0) {
        digest_.clear();
        return true;
    }
    // The transfer layer recognises this failure by the mark.
    failure_ = "The piece " + name + " " + kPieceDigestRefusalMark + " (its SHA-256 is " + actual +
               ", the mail says " + digest_ + "): the mail was changed in the mailbox.";
    stop(-1);
    return false;
}

bool AttachmentWriter::closePart(bool metBoundary) {
    encoding_.clear();
    if (streaming_) {
        decoder_->finish(decoded_);
        flushDecoded();
        if (!outputFailed_)
            outputFailed_ = !output_->end();
        streaming_ = false;
        // A changed mail is told as such first: another copy may be whole.
        if (!digestMatches(safeAttachmentName(wireName_)))
            return false;
        if (outputFailed_) {
            stop(-1);
            return false;
        }
    }
    if (file_) {
        decoder_->finish(decoded_);
        flushDecoded();
        // A file cut short (disk full) must not pass for a written one.
        if (!file_->close()) {
            stop(-1);
            return false;
        }
        const std::filesystem::path path = file_->finalPath();
        if (!digestMatches(path.filename().string())) {
            mismatched_ = path;
            return false;
        }
        written_.push_back(std::move(file_));
    }
    decoder_.reset();
    sha_.reset();
    if (!metBoundary) {
        stop(0);
        return false;
    }
    return true;
}

void AttachmentWriter::onEnd() {
    switch (state_) {
        case State::FirstHeaders:
            if (firstIsAttachment_) {
                replayFirstLines();
                if (state_ != State::Done)
                    onEnd();
                return;
            }
            stop(0);
            return;
        case State::RestOfHeaders:
            openPart();
            closePart(false);
            return;
        case State::Body:
            closePart(false);
            return;
        case State::Done:
            return;
        default:
            stop(0);
    }
}

int AttachmentWriter::finish(std::string& failure) {
    try {
        if (state_ != State::Done && state_ != State::Header && !line_.empty()) {
            const std::string line = std::move(line_);
            line_.clear();
            onLine(line);
        }
        onEnd();
    } catch (...) {
        stop(-1);
    }
    // In the order written: a later part of the same name replaces an
    // earlier one.
    for (auto& file : written_) {
        if (!file->putInPlace())
            result_ = -1;
    }
    written_.clear();
    if (!mismatched_.empty()) {
        // Nothing of a changed piece may stay under its name.
        std::error_code ec;
        std::filesystem::remove(mismatched_, ec);
    }
    failure = failure_;
    return result_;
}

}  // namespace parvola
