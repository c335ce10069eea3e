#pragma once
// A text part of an outgoing message.
#include <string>
#include <utility>

#include "mail/mime_composer_encoding.h"

namespace parvola {

struct SmtpMessageBody {
    SmtpMessageBody() = default;
    explicit SmtpMessageBody(std::string text, std::string contentType = {},
                             std::string charset = {}, int encoding = kEncodingAutomatic)
        : contentType(std::move(contentType)),
          charset(std::move(charset)),
          encoding(encoding),
          text(std::move(text)) {}

    std::string contentType;            // e.g. "text/plain"
    std::string charset;                // e.g. "iso-8859-1"
    std::string contentId;              // empty: no Content-ID header
    int encoding = kEncodingAutomatic;  // MimeTransferEncoding
    std::string text;                   // the part's content
};

}  // namespace parvola
