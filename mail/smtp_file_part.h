#pragma once
// A file sent as an attachment (or inline) part of an outgoing message. The
// file is read when the message text is composed, not when the part is made.
#include <string>
#include <utility>

#include "mail/smtp_message_body.h"

namespace parvola {

struct SmtpFilePart : SmtpMessageBody {
    SmtpFilePart() = default;
    explicit SmtpFilePart(std::string path, std::string name = {}, bool isInline = false,
                          std::string contentType = {}, std::string charset = {},
                          int encoding = kEncodingAutomatic)
        : SmtpMessageBody(std::move(path), std::move(contentType), std::move(charset), encoding),
          name(std::move(name)),
          isInline(isInline) {}

    // text holds the path of the file.
    std::string name;       // shown to the receiver; empty = last component of the path
    bool isInline = false;  // disposition "inline" instead of "attachment"
};

}  // namespace parvola
