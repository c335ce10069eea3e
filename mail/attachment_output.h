#pragma once
// Where the decoded bytes of a mail's attachment go while the mail arrives,
// when they are not to become a file in a folder: the reader of a sealed
// piece opens it on its way into the downloaded file, so no copy of the
// sealed bytes is ever written.
//
// Only a mail's first attachment (the piece) is handed on; the bytes are the
// attachment's own, checked against the digest the mail carries as they are
// when the attachment is saved to a folder.
#include <string_view>

namespace parvola {

class AttachmentOutput {
  public:
    virtual ~AttachmentOutput() = default;
    // An attachment starts. A later call starts it again from its first byte
    // (another copy of the same mail, or the same one read again).
    virtual bool begin() = 0;
    // The next decoded bytes, in order, in blocks of any size.
    virtual bool write(std::string_view bytes) = 0;
    // The attachment's last byte has come.
    virtual bool end() = 0;
    // A false answer means the output takes nothing more of this attachment;
    // the output itself tells why. The mail is still read to its end.
};

}  // namespace parvola
