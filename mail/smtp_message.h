#pragma once
// One outgoing mail as objects: addresses, text parts, file parts and extra
// headers, turned into the complete MIME text that follows SMTP DATA.
// Strings are UTF-8 inside the program; header values and file names are
// written in the wire code page (GB18030).
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "mail/composed_text.h"
#include "mail/smtp_address.h"
#include "mail/smtp_file_part.h"
#include "mail/smtp_message_body.h"

namespace parvola {

enum MultipartKind : int {
    kMultipartAutomatic = 0,
    kMultipartMixed = 1,
    kMultipartAlternative = 2,
    kMultipartRelated = 3,
};

class SmtpMessage {
  public:
    // Millisecond tick count used in the part boundaries.
    using TickSource = std::function<unsigned long()>;
    using Header = std::pair<std::string, std::string>;

    // Takes the local date, time and time zone of now.
    SmtpMessage();

    // The whole mail text, headers and body, without the final "\r\n.\r\n",
    // with its files left in their files, read and encoded only while the
    // text is read out: what is sent. Composing fills the header list with
    // the standard headers and settles an automatic multipart kind.
    ComposedText composeText();
    // The same text at once (small mails and tests).
    void GetMessageText(std::string& out);

    // From and MAIL FROM.
    void setSender(SmtpAddress sender) { sender_ = std::move(sender); }
    const SmtpAddress& sender() const { return sender_; }
    // The main recipient (To and RCPT TO).
    void setRecipient(SmtpAddress recipient) { recipient_ = std::move(recipient); }
    const SmtpAddress& recipient() const { return recipient_; }
    // Further recipients, written into To.
    void addRecipient(SmtpAddress recipient) { toList_.push_back(std::move(recipient)); }
    const std::vector<SmtpAddress>& toList() const { return toList_; }
    // Recipients named in RCPT TO only.
    void addBlindRecipient(SmtpAddress recipient) { blindList_.push_back(std::move(recipient)); }
    const std::vector<SmtpAddress>& blindList() const { return blindList_; }
    // Written as it is, without header encoding.
    void setSubject(std::string subject) { subject_ = std::move(subject); }
    void addBody(SmtpMessageBody body) { bodies_.push_back(std::move(body)); }
    void addFile(SmtpFilePart file) { files_.push_back(std::move(file)); }
    // kMultipartAutomatic (the default) picks alternative or mixed.
    void setMultipartKind(int kind) { multipartKind_ = kind; }
    int multipartKind() const { return multipartKind_; }
    // Empty (the default): no Message-ID header.
    void setMessageId(std::string id) { messageId_ = std::move(id); }
    // The local date and time and the zone (±hhmm) of the Date header.
    void setDate(const std::tm& local, int zone) {
        created_ = local;
        zone_ = zone;
    }
    const std::tm& date() const { return created_; }
    // Tests inject a fixed clock for reproducible boundaries.
    void setTicks(TickSource ticks) { ticks_ = std::move(ticks); }

    // Header list operations; names compare exactly (case-sensitive).
    void addHeader(std::string name, std::string value);
    void removeHeader(const std::string& name);
    bool hasHeader(const std::string& name) const;
    // Extra headers; the working list while composing.
    const std::vector<Header>& headers() const { return headers_; }

    // Signed ±hhmm of a UTC offset in seconds (east positive): +8 h gives 800.
    static int zoneFromUtcOffset(long offsetSeconds);
    // The Date header value of a local time and zone.
    static std::string formatDate(const std::tm& local, int zone);

  private:
    void addStandardHeaders();
    void compose(ComposedText& out);
    void writeBody(const SmtpMessageBody& body, const std::string& boundary, ComposedText& out);
    void writeFilePart(const SmtpFilePart& file, const std::string& boundary, ComposedText& out);

    SmtpAddress sender_;
    SmtpAddress recipient_;
    std::string subject_;
    std::vector<SmtpMessageBody> bodies_;
    std::vector<SmtpAddress> toList_;
    std::vector<SmtpAddress> blindList_;
    std::vector<SmtpFilePart> files_;
    std::vector<Header> headers_;
    std::tm created_{};  // local date and time of construction
    int multipartKind_ = kMultipartAutomatic;
    std::string messageId_;
    int zone_ = 0;  // local time zone as ±hhmm
    TickSource ticks_;
};

// The text written as X-Mailer.
extern const char* const kMailerName;

}  // namespace parvola
