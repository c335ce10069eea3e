#pragma once
// Writing the attachments of a mail into a folder while the mail arrives:
// the POP3 reader hands the message text in pieces, and each attachment is
// decoded line by line into its file as the lines come in, so neither the
// message nor the decoded file is ever held whole.
//
// Tuned to the mails this program composes (multipart/mixed, the file
// part's disposition split over two lines, a filename quotation left open)
// and to the mails earlier versions of the store wrote; other mails are read
// only as far as they follow the same shapes. Lines are read with a limit of
// 1023 bytes: a longer line is read as several lines, as the mails of the
// store have always been read.
//
// Files are written under temporary names and put in place by finish():
// a mail that does not arrive whole writes nothing. A writer made with an
// AttachmentOutput writes no file: the first attachment's decoded bytes go
// to the output as they are decoded, and later attachments are skipped.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/attachment_output.h"
#include "mail/message_text_sink.h"
#include "mail/mime_part_file.h"
#include "mail/mime_reader_part_decoder.h"
#include "mail/sha256_stream.h"

namespace parvola {

class AttachmentWriter : public MessageTextSink {
  public:
    explicit AttachmentWriter(std::string folder);
    explicit AttachmentWriter(AttachmentOutput& output);
    ~AttachmentWriter() override;
    AttachmentWriter(const AttachmentWriter&) = delete;
    AttachmentWriter& operator=(const AttachmentWriter&) = delete;

    void append(std::string_view bytes) override;
    // The whole text has arrived: ends the scan and puts the written files
    // in place. 0, or -1 when a file came out short (a full disk), a piece
    // differs from the digest its mail names (`failure` then says so), or
    // an unexpected error interrupted decoding, or the output refused a
    // block (the output knows why).
    int finish(std::string& failure);

  private:
    enum class State {
        Header,          // collecting the mail's header block
        FirstBoundary,   // the lines before the first boundary line
        FirstHeaders,    // the first part's header lines
        FirstRest,       // the rest of a first part that is no attachment
        PartHeaders,     // a part's header lines, looking for the file name
        FilenameLine,    // the line after a split disposition
        RestOfHeaders,   // the named part's header lines after the name
        Body,            // the named part's body
        SkipToBoundary,  // a part with a disposition but no name
        Done
    };

    void takeHeader(std::string_view& bytes);
    void splitLines(std::string_view bytes);
    void onLine(std::string_view line);
    void replayFirstLines();
    void onPartLine(std::string_view line);
    void onEnd();
    void openPart();
    // Ends the named part's body; false when that ends everything.
    bool closePart(bool metBoundary);
    void flushDecoded();
    // False, with the refusal in failure_ and the scan stopped, when the
    // attachment just read (named `name`) differs from the mail's digest.
    bool digestMatches(const std::string& name);
    bool isBoundary(std::string_view line) const;
    void stop(int result);

    std::string folder_;
    State state_ = State::Header;
    int result_ = 0;
    std::string header_;
    std::string line_;  // a line whose end has not arrived yet
    std::string digest_;
    std::string boundaryLine_;
    bool firstIsAttachment_ = false;
    std::vector<std::string> firstLines_;  // read again when the first part is the file
    std::string encoding_;
    std::string wireName_;
    std::unique_ptr<MimePartFile> file_;
    AttachmentOutput* output_ = nullptr;
    bool streaming_ = false;     // the part being read goes to output_
    bool streamed_ = false;      // output_ has had its attachment
    bool outputFailed_ = false;  // output_ refused a block of it
    std::unique_ptr<PartBodyDecoder> decoder_;
    std::unique_ptr<Sha256Stream> sha_;
    std::string decoded_;  // decoded bytes not yet written
    std::vector<std::unique_ptr<MimePartFile>> written_;
    std::filesystem::path mismatched_;  // a piece that differs from its digest
    std::string failure_;
};

}  // namespace parvola
