#pragma once
// A file sent as an attachment (or inline) part of an outgoing message. The
// file is read when the message text is composed, not when the part is made.
#include <string>

#include "mail/smtp_message_body.h"

namespace parvola {

class CSmtpFilePart : public CSmtpMessageBody {
  public:
    CSmtpFilePart() = default;
    explicit CSmtpFilePart(std::string path, std::string name = {}, bool isInline = false,
                           std::string contentType = {}, std::string charset = {},
                           int encoding = kEncodingAutomatic)
        : CSmtpMessageBody(std::move(path), std::move(contentType), std::move(charset), encoding),
          Name(std::move(name)),
          Inline(isInline) {}

    // Text holds the path of the file.
    std::string Name;     // shown to the receiver; empty = last component of the path
    bool Inline = false;  // disposition "inline" instead of "attachment"
};

}  // namespace parvola
