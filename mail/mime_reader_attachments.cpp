// Writing the attachments of a retrieved mail into a folder. Tuned to the
// mails this program composes (multipart/mixed, the file part's disposition
// split over two lines, a filename quotation left open) and to the mails
// earlier versions of the store wrote; other mails are read only as far as
// they follow the same shapes.
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "mail/mime_reader_file_name.h"
#include "mail/mime_reader_part_decoder.h"
#include "mail/mime_reader_text.h"
#include "mail/piece_digest.h"
#include "mail/pop3_connection.h"
#include "mail/progress_sink.h"

namespace parvola {
namespace {

// Lines are read with a limit of 1023 bytes: a longer line is read as
// several lines, as the mails of the store have always been read.
constexpr size_t kLineLimit = 1023;

const std::string kDispositionWithName = "Content-Disposition: attachment; filename=";
const std::string kDisposition = "Content-Disposition: attachment;";
const std::string kFirstPartDisposition = "Content-Disposition: attachment";
const std::string kFilename = "filename=";
const std::string kTabFilename = "\tfilename=";
const std::string kTransferEncoding = "Content-Transfer-Encoding:";

bool startsWith(const std::string& line, const std::string& prefix) {
    return line.compare(0, prefix.size(), prefix) == 0;
}

bool startsWithAnyCase(const std::string& line, const std::string& prefix) {
    return line.size() >= prefix.size() &&
           strncasecmp(line.c_str(), prefix.c_str(), prefix.size()) == 0;
}

bool endsHeaderBlock(const std::string& line) {
    return line.empty() || line[0] == '\n' || line[0] == '\r';
}

// The message body on its way through a scratch file of its own, removed
// when the scan ends however it ends. Each call has its own file, so any
// number of downloads may run at once.
class ScratchFile {
  public:
    ScratchFile() {
        std::error_code ec;
        std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
        if (ec)
            dir = "/tmp";
        path_ = (dir / "parvola-mail-XXXXXX.mme").string();
        const int fd = mkstemps(path_.data(), 4);
        if (fd < 0)
            return;
        created_ = true;
        file_ = fdopen(fd, "w+b");
        if (file_ == nullptr)
            ::close(fd);
    }
    ~ScratchFile() {
        if (file_ != nullptr)
            fclose(file_);
        if (created_)
            ::unlink(path_.c_str());
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    FILE* get() const { return file_; }

  private:
    std::string path_;
    bool created_ = false;
    FILE* file_ = nullptr;
};

class LineReader {
  public:
    explicit LineReader(FILE* file) : file_(file) {}

    // The next line with its line feed, at most kLineLimit bytes; false at the end.
    bool next(std::string& line) {
        line.clear();
        int c;
        while (line.size() < kLineLimit && (c = getc_unlocked(file_)) != EOF) {
            line += static_cast<char>(c);
            if (c == '\n')
                break;
        }
        return !line.empty();
    }

    bool atEnd() {
        const int c = getc_unlocked(file_);
        if (c == EOF)
            return true;
        ungetc(c, file_);
        return false;
    }

  private:
    FILE* file_;
};

// The name after the prefix and the opening quotation mark, without the
// line's last two characters (its "\r\n"). False when the line holds no name.
bool nameFromLine(const std::string& line, size_t prefixLength, std::string& name) {
    name = line.substr(std::min(line.size(), prefixLength + 1));
    if (name.empty())
        return false;
    name.resize(name.size() >= 2 ? name.size() - 2 : 0);
    return true;
}

// Keeps the transfer encoding named by a part's header line; a boundary line
// starts a new part, which has named none yet.
void noteEncoding(const std::string& line, bool isBoundary, std::string& encoding) {
    if (isBoundary)
        encoding.clear();
    else if (startsWithAnyCase(line, kTransferEncoding))
        encoding = line.substr(kTransferEncoding.size());
}

// A store mail names the SHA-256 of its piece: the file written must match
// it. A mismatch removes the file (a changed piece must never be joined into
// the user's file) and says so in `failure`.
bool matchesDigest(const std::string& expected, const std::filesystem::path& file,
                   const std::string& name, std::string& failure) {
    std::string actual;
    if (sha256HexOfFile(file.string(), actual) && strcasecmp(actual.c_str(), expected.c_str()) == 0)
        return true;
    std::error_code ec;
    std::filesystem::remove(file, ec);
    failure = "The piece " + name +
              " read back differs from the piece that was stored (its SHA-256 is " + actual +
              ", the mail says " + expected + "): the mail was changed in the mailbox.";
    return false;
}

int writeAttachments(const MimeMessageText& message, const std::string& folder,
                     std::string& failure) {
    // Only the first attachment is the piece the digest is of.
    std::string digest = message.GetHeaderField(kPieceDigestHeader, 0);
    ScratchFile scratch;
    if (scratch.get() == nullptr)
        return -1;
    const std::string body = message.GetBody();
    if (fwrite(body.data(), 1, body.size(), scratch.get()) != body.size() ||
        fflush(scratch.get()) != 0) {
        return -1;
    }
    rewind(scratch.get());
    LineReader reader(scratch.get());

    const std::string boundary = message.GetBoundary();
    const std::string boundaryLine = "--" + boundary;
    auto isBoundary = [&](const std::string& line) { return startsWith(line, boundaryLine); };
    std::string line;

    // The first part: is it the attachment itself (a mail with no text part)?
    bool firstIsAttachment = false;
    if (!boundary.empty()) {
        while (reader.next(line) && !isBoundary(line)) {
        }
        while (reader.next(line) && !endsHeaderBlock(line)) {
            if (startsWith(line, kFirstPartDisposition))
                firstIsAttachment = true;
        }
    }
    if (!firstIsAttachment) {
        while (reader.next(line)) {
            if (!boundary.empty() && isBoundary(line))
                break;
        }
    }
    if (message.GetContentType() != "multipart/mixed")
        return 0;
    if (firstIsAttachment)
        rewind(scratch.get());

    std::string encoding;
    while (true) {
        // A part's header lines, looking for the file name.
        bool named = false;
        bool skipPart = false;
        std::string wireName;
        while (reader.next(line) && !endsHeaderBlock(line)) {
            noteEncoding(line, isBoundary(line), encoding);
            if (startsWithAnyCase(line, kDispositionWithName)) {
                named = nameFromLine(line, kDispositionWithName.size(), wireName);
                if (!named)
                    return 0;
            } else if (startsWithAnyCase(line, kDisposition)) {
                std::string next;
                reader.next(next);
                if (startsWithAnyCase(next, kFilename)) {
                    named = nameFromLine(next, kFilename.size(), wireName);
                } else if (startsWithAnyCase(next, kTabFilename)) {
                    named = nameFromLine(next, kTabFilename.size(), wireName);
                } else {
                    skipPart = true;
                    break;
                }
                if (!named)
                    return 0;
            }
            if (named) {
                while (reader.next(line) && !endsHeaderBlock(line))
                    noteEncoding(line, false, encoding);
                break;
            }
        }

        if (skipPart) {
            while (reader.next(line) && !isBoundary(line)) {
            }
        } else if (named) {
            // A name that cannot be made safe, or a file that cannot be
            // created, skips this part's body; the scan goes on.
            std::ofstream out;
            const std::string name = safeAttachmentName(wireName);
            const std::filesystem::path path = std::filesystem::path(folder) / name;
            if (!name.empty()) {
                out.open(path, std::ios::binary | std::ios::trunc);
            }
            bool metBoundary = false;
            std::string bytes;
            PartBodyDecoder decoder(PartBodyDecoder::kindFor(encoding));
            while (reader.next(line)) {
                if (isBoundary(line)) {
                    metBoundary = true;
                    break;
                }
                if (!out.is_open())
                    continue;
                bytes.clear();
                decoder.feed(line, bytes);
                out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            }
            encoding.clear();
            if (out.is_open()) {
                bytes.clear();
                decoder.finish(bytes);
                out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
                out.close();
                // A file cut short (disk full) must not pass for a written one.
                if (out.fail())
                    return -1;
                if (!digest.empty() && !matchesDigest(digest, path, name, failure))
                    return -1;
                digest.clear();
            }
            if (!metBoundary)
                return 0;
            continue;
        }
        if (reader.atEnd())
            return 0;
    }
}

}  // namespace

int Pop3Connection::SaveAttachments(int number, const std::string& folder) {
    std::string text;
    if (!Retrieve(number, text))
        return lastError() == kTransferCancelledCode ? kTransferCancelledCode : status;
    try {
        std::string failure;
        const int result = writeAttachments(MimeMessageText(std::move(text)), folder, failure);
        if (!failure.empty())
            lastReply_ = failure;
        return result;
    } catch (...) {
        // Files and the scratch file are closed (and the latter removed) by
        // their owners on the way out.
        return -1;
    }
}

int Pop3Connection::DownloadAttachments(int number, const std::string& folder, int taskId,
                                        ProgressSink* sink) {
    setProgress(sink, taskId);
    return SaveAttachments(number, folder);
}

}  // namespace parvola
