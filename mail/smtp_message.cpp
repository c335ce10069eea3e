#include "mail/smtp_message.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "mail/mime_composer_encoding.h"
#include "platform/mime_types.h"
#include "platform/system_hooks.h"
#include "platform/text_codec.h"

namespace parvola {

const char* const kMailerName = "Parvola Mailer 1.0";

namespace {

constexpr const char* kPreamble = "This is a multipart message in MIME format";

bool startsWithTextType(const std::string& contentType) {
    return contentType.size() >= 5 && strncasecmp(contentType.c_str(), "text/", 5) == 0;
}

std::string boundaryText(const char* prefix, unsigned long ticks) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s%8.8X", prefix, static_cast<unsigned>(ticks));
    return buffer;
}

std::string formatAddress(const SmtpAddress& address) {
    std::string value;
    if (!address.name.empty())
        value += "\"" + address.name + "\" ";
    if (!address.address.empty())
        value += "<" + address.address + ">";
    return value;
}

// The name shown to the receiver: the part's own, else the path's last component.
std::string displayName(const SmtpFilePart& file) {
    if (!file.name.empty())
        return file.name;
    const size_t slash = file.text.rfind('/');
    return slash == std::string::npos ? file.text : file.text.substr(slash + 1);
}

// A line break inside a file name would end the header line and let the rest
// of the name be read as headers of its own.
std::string headerSafe(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, '_');
    return text;
}

}  // namespace

SmtpMessage::SmtpMessage() : ticks_(tickCountMs) {
    const std::time_t now = std::time(nullptr);
    localtime_r(&now, &created_);
    zone_ = zoneFromUtcOffset(created_.tm_gmtoff);
}

int SmtpMessage::zoneFromUtcOffset(long offsetSeconds) {
    // Bias in minutes is UTC minus local time; truncating division as the
    // zone field has always been computed.
    const long bias = -offsetSeconds / 60;
    return static_cast<int>(-(bias % 60) - (bias / 60) * 100);
}

std::string SmtpMessage::formatDate(const std::tm& local, int zone) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int day = std::clamp(local.tm_wday, 0, 6);
    const int month = std::clamp(local.tm_mon, 0, 11);
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%s, %d %s %d %d:%02d:%02d %c%4.4d", kDays[day],
                  local.tm_mday, kMonths[month], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, zone > 0 ? '+' : '-', std::abs(zone));
    return buffer;
}

void SmtpMessage::addHeader(std::string name, std::string value) {
    headers_.emplace_back(std::move(name), std::move(value));
}

void SmtpMessage::removeHeader(const std::string& name) {
    const auto it = std::find_if(headers_.begin(), headers_.end(),
                                 [&](const Header& h) { return h.first == name; });
    if (it != headers_.end())
        headers_.erase(it);
}

bool SmtpMessage::hasHeader(const std::string& name) const {
    return std::any_of(headers_.begin(), headers_.end(),
                       [&](const Header& h) { return h.first == name; });
}

void SmtpMessage::addStandardHeaders() {
    static const Header kDefaults[] = {{"X-Priority", "3 (Normal)"},
                                       {"X-MSMail-Priority", "Normal"},
                                       {"X-Mailer", kMailerName},
                                       {"Importance", "Normal"}};
    for (const Header& header : kDefaults) {
        if (!hasHeader(header.first))
            addHeader(header.first, header.second);
    }
    removeHeader("Date");
    addHeader("Date", formatDate(created_, zone_));
    removeHeader("Subject");
    addHeader("Subject", subject_);

    std::string to = formatAddress(recipient_);
    for (const SmtpAddress& address : toList_) {
        if (!to.empty())
            to += ",\r\n\t";
        to += formatAddress(address);
    }
    removeHeader("To");
    addHeader("To", to);
    removeHeader("From");
    addHeader("From", formatAddress(sender_));
}

void SmtpMessage::GetMessageText(std::string& out) {
    ComposedText text = composeText();
    text.readAll(out);
}

ComposedText SmtpMessage::composeText() {
    ComposedText text;
    compose(text);
    return text;
}

void SmtpMessage::compose(ComposedText& out) {
    const unsigned long ticks = ticks_ ? ticks_() : tickCountMs();

    std::string outer;
    removeHeader("Content-Type");
    if (files_.size() + bodies_.size() > 1) {
        outer = boundaryText("CSmtpMsgPart123X456_000_", ticks);
        if (multipartKind_ == kMultipartAutomatic)
            multipartKind_ = files_.empty() ? kMultipartAlternative : kMultipartMixed;
        const char* kind = multipartKind_ == kMultipartAlternative ? "alternative"
                           : multipartKind_ == kMultipartRelated   ? "related"
                                                                   : "mixed";
        addHeader("Content-Type",
                  std::string("multipart/") + kind + ";\r\n\tboundary=\"" + outer + "\"");
    }
    removeHeader("MIME-Version");
    addHeader("MIME-Version", "1.0");
    removeHeader("Message-ID");
    if (!messageId_.empty())
        addHeader("Message-ID", "<" + messageId_ + ">");
    addStandardHeaders();

    for (auto it = headers_.rbegin(); it != headers_.rend(); ++it) {
        out += it->first;
        out += ": ";
        out += utf8ToWire(it->second);
        out += "\r\n";
    }
    if (!outer.empty()) {
        out += "\r\n";
        out += kPreamble;
        out += "\r\n";
    }

    std::string inner;
    if (!files_.empty() && bodies_.size() > 1 && !outer.empty()) {
        inner = boundaryText("CSmtpMsgPart123X456_001_", ticks);
        out += "\r\n--" + outer + "\r\nContent-Type: multipart/alternative;\r\n\tboundary=\"" +
               inner + "\"\r\n";
    }
    for (const SmtpMessageBody& body : bodies_) {
        writeBody(body, inner.empty() ? outer : inner, out);
    }
    if (!inner.empty())
        out += "\r\n--" + inner + "--\r\n";

    for (const SmtpFilePart& file : files_)
        writeFilePart(file, outer, out);
    if (!outer.empty())
        out += "\r\n--" + outer + "--\r\n";
}

void SmtpMessage::writeBody(const SmtpMessageBody& body, const std::string& boundary,
                            ComposedText& out) {
    if (!boundary.empty())
        out += "\r\n--" + boundary + "\r\n";
    out += "Content-Type: " + body.contentType;
    if (startsWithTextType(body.contentType))
        out += ";\r\n\tcharset=\"" + body.charset + "\"";
    out += "\r\n";
    std::string text = body.text;
    std::string name;
    EncodeText(body.encoding, text, name);
    out += "Content-Transfer-Encoding: " + name;
    if (!body.contentId.empty())
        out += "\r\nContent-ID: <" + body.contentId + ">";
    out += "\r\n\r\n";
    out += text;
}

void SmtpMessage::writeFilePart(const SmtpFilePart& file, const std::string& boundary,
                                ComposedText& out) {
    // Everything of the part is written into `out` first and taken back when
    // the file turns out unreadable: such a part is left out entirely.
    const uint64_t partStart = out.size();
    if (!boundary.empty())
        out += "\r\n--" + boundary + "\r\n";

    const std::string name = displayName(file);
    const std::string wireName = headerSafe(utf8ToWire(name));
    std::string contentType = contentTypeForName(name);
    if (!file.contentType.empty())
        contentType = file.contentType;

    out += "Content-Type: " + contentType;
    if (startsWithTextType(contentType))
        out += ";\r\n\tcharset=\"" + file.charset + "\"";
    out += ";\r\n\tname=\"" + wireName + "\"\r\n";
    // Files always travel as base64, whatever their encoding says: only base64
    // brings every byte back unchanged (the other encodings stop at a NUL byte,
    // replace 8-bit bytes or re-break lines), and the reader takes a stored
    // piece from its base64 part.
    out += "Content-Transfer-Encoding: base64\r\n";
    // The filename quotation is left open on purpose: readers of mails already
    // stored take the name up to the end of this line.
    out += std::string("Content-Disposition: ") + (file.isInline ? "inline" : "attachment") +
           ";\r\n\tfilename=\"" + wireName;
    if (!file.contentId.empty())
        out += "\r\nContent-ID: <" + file.contentId + ">";
    out += "\r\n\r\n";

    // The file is opened now and read while the text goes out.
    if (!out.appendFileAsBase64(file.text))
        out.truncate(partStart);
}

}  // namespace parvola
