#pragma once
// Decoding of an attachment part's body, line by line as the reader reads it,
// by the part's Content-Transfer-Encoding: base64 (also when the part names
// none, or one we do not know, as the store's mails have always been read),
// quoted-printable, or 7bit/8bit/binary (the bytes as they are).
//
// For quoted-printable and the identity encodings a line break in the mail is
// a CRLF in the file, and the line break that ends the last line before the
// boundary belongs to the boundary, not to the file (as MIME defines both).
// A quoted-printable line that ends in an encoded CR ("=0D", as byte-wise
// encoders write a CRLF) ends with its LF alone.
// A leading dot that the POP3 server doubled is taken off again.
#include <string>
#include <string_view>

namespace parvola {

class PartBodyDecoder {
  public:
    enum class Kind { Base64, QuotedPrintable, Identity };

    // The kind for a Content-Transfer-Encoding value ("quoted-printable",
    // " 7BIT", ...), in any letter case, blanks and comments around ignored.
    static Kind kindFor(std::string_view encoding);

    explicit PartBodyDecoder(Kind kind) : kind_(kind) {}

    // `chunk` is what the line reader gave: a whole line with its line feed,
    // or a piece of a longer line (no line feed). Decoded bytes go to `out`.
    void feed(std::string_view chunk, std::string& out);
    // The part's body has ended (boundary or end of the mail).
    void finish(std::string& out);

  private:
    void decodeLine(std::string_view line, std::string& out);

    Kind kind_;
    std::string line_;          // the logical line read so far
    std::string pendingBreak_;  // the line break owed before the next line
};

}  // namespace parvola
