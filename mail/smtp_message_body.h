#pragma once
// A text part of an outgoing message.
#include <string>

#include "mail/mime_composer_encoding.h"

namespace parvola {

class CSmtpMessageBody {
  public:
    CSmtpMessageBody() = default;
    explicit CSmtpMessageBody(std::string text, std::string contentType = {},
                              std::string charset = {}, int encoding = kEncodingAutomatic)
        : ContentType(std::move(contentType)),
          Charset(std::move(charset)),
          Encoding(encoding),
          Text(std::move(text)) {}

    std::string ContentType;            // e.g. "text/plain"
    std::string Charset;                // e.g. "iso-8859-1"
    std::string ContentId;              // empty: no Content-ID header
    int Encoding = kEncodingAutomatic;  // MimeTransferEncoding
    std::string Text;                   // the part's content
};

}  // namespace parvola
