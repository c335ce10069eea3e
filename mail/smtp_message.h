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

class CSmtpMessage {
  public:
    // Millisecond tick count used in the part boundaries.
    using TickSource = std::function<unsigned long()>;
    using Header = std::pair<std::string, std::string>;

    // Takes the local date, time and time zone of now.
    CSmtpMessage();

    // The whole mail text, headers and body, without the final "\r\n.\r\n".
    void GetMessageText(std::string& out);

    // Header list operations; names compare exactly (case-sensitive).
    void addHeader(std::string name, std::string value);
    void removeHeader(const std::string& name);
    bool hasHeader(const std::string& name) const;

    // Signed ±hhmm of a UTC offset in seconds (east positive): +8 h gives 800.
    static int zoneFromUtcOffset(long offsetSeconds);
    // The Date header value of a local time and zone.
    static std::string formatDate(const std::tm& local, int zone);

    CSmtpAddress Sender;     // From and MAIL FROM
    CSmtpAddress Recipient;  // the main recipient (To and RCPT TO)
    std::string Subject;     // written as is, no header encoding
    std::vector<CSmtpMessageBody> Bodies;
    std::vector<CSmtpAddress> ToList;     // further recipients, written into To
    std::vector<CSmtpAddress> BlindList;  // RCPT TO only
    std::vector<CSmtpFilePart> Files;
    std::vector<Header> Headers;  // extra headers; the working list while composing
    std::tm Created{};            // local date and time of construction
    int MultipartKind = kMultipartAutomatic;
    std::string MessageId;  // empty: no Message-ID header
    int Zone = 0;           // local time zone as ±hhmm

    // Tests inject a fixed clock for reproducible boundaries.
    TickSource Ticks;

  private:
    void addStandardHeaders();
    void writeBody(const CSmtpMessageBody& body, const std::string& boundary, std::string& out);
    void writeFilePart(const CSmtpFilePart& file, const std::string& boundary, std::string& out);
};

// The text written as X-Mailer.
extern const char* const kMailerName;

}  // namespace parvola
