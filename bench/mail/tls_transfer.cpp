// A piece mail stored over SMTP and retrieved over POP3, in plaintext and
// over TLS (implicit, ports +1), against the test mail server: the cost of
// the TLS layer on a large transfer, in seconds and MB/s.
//
//   bash tests/mailserver/fixture.sh start /tmp/parvola-ms-2535 2535 1120
//   bash tests/mailserver/mailstack.sh adduser /tmp/parvola-ms-2535 benchuser benchpw
//   CA=/tmp/parvola-ms-2535/tls/ca.pem
//   build/bench/mail/bench_tls_transfer 2535 1120 benchuser benchpw $CA 20
//   bash tests/mailserver/fixture.sh stop /tmp/parvola-ms-2535
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mail/pop3_connection.h"
#include "mail/smtp_client.h"
#include "mail/smtp_message.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace parvola;
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s SMTP_PORT POP3_PORT USER PASSWORD CA_FILE [MB]\n", argv[0]);
        return 2;
    }
    const int smtpPort = std::atoi(argv[1]);
    const int pop3Port = std::atoi(argv[2]);
    const std::string user = argv[3];
    const std::string password = argv[4];
    const std::string caFile = argv[5];
    const size_t megabytes = argc > 6 ? static_cast<size_t>(std::atoi(argv[6])) : 20;

    test::TempDir dir;
    const std::string piece = (dir / "piece.bin").string();
    test::writeFile(piece, test::randomBytes(megabytes << 20, 3));

    for (TlsMode mode : {TlsMode::None, TlsMode::Implicit}) {
        const bool tls = mode != TlsMode::None;
        SmtpMessage message;
        message.setSender(SmtpAddress(user + "@sina.test"));
        message.setRecipient(message.sender());
        message.setSubject("bench");
        message.addBody(SmtpMessageBody("bench", "text/plain", "iso-8859-1"));
        message.addFile(SmtpFilePart(piece));

        SmtpClient smtp;
        smtp.setPort(smtpPort + (tls ? 1 : 0));
        smtp.setTls({mode, caFile});
        smtp.setCredentials(user, password);
        auto start = Clock::now();
        if (smtp.Connect("127.0.0.1") != 1 || smtp.SendMessage(message, -1) != 0) {
            std::fprintf(stderr, "send failed: %s\n", smtp.failureReply().c_str());
            return 1;
        }
        smtp.Close();
        const double sendSeconds = secondsSince(start);

        Pop3Connection pop3;
        pop3.setTls({mode, caFile});
        start = Clock::now();
        int count = 0, total = 0;
        std::string text;
        if (!pop3.Connect("127.0.0.1", user, password, pop3Port + (tls ? 1 : 0)) ||
            !pop3.Statistics(count, total) || !pop3.Retrieve(count, text)) {
            std::fprintf(stderr, "retrieve failed: %s\n", pop3.lastReply().c_str());
            return 1;
        }
        pop3.Delete(count);
        pop3.Disconnect();
        const double readSeconds = secondsSince(start);
        const double wireMb = static_cast<double>(text.size()) / (1 << 20);
        std::printf(
            "%-9s piece %zu MB, %.1f MB on the wire: SMTP %.2f s (%.0f MB/s), POP3 %.2f s "
            "(%.0f MB/s)\n",
            tls ? "TLS" : "plaintext", megabytes, wireMb, sendSeconds, wireMb / sendSeconds,
            readSeconds, wireMb / readSeconds);
    }
    return 0;
}
