// Round trip of one SMTP command (NOOP and RCPT TO) on loopback against a real
// server, after EHLO and AUTH LOGIN.
//   bench_smtp_command_bench PORT USER PASSWORD [COUNT]
// NOOP is sampled COUNT/4 times (five per session), RCPT TO COUNT times.
// e.g. with the test server:
//   bash tests/mailserver/fixture.sh start /tmp/parvola-ms-bench 2555 1140
//   bash tests/mailserver/mailstack.sh adduser /tmp/parvola-ms-bench bench benchpw
//   build/bench/mail/bench_smtp_command_bench 2555 bench benchpw 2000
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mail/smtp_client.h"

using namespace parvola;
using Clock = std::chrono::steady_clock;

namespace {

void report(const char* command, std::vector<double>& micros) {
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double q) { return micros[static_cast<size_t>(q * (micros.size() - 1))]; };
    std::printf("%-5s n=%zu  median %.1f us  p10 %.1f us  p90 %.1f us  p99 %.1f us\n", command,
                micros.size(), at(0.5), at(0.1), at(0.9), at(0.99));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s PORT USER PASSWORD [COUNT]\n", argv[0]);
        return 2;
    }
    const int count = argc > 4 ? std::atoi(argv[4]) : 2000;
    SmtpClient smtp;
    smtp.setPort(std::atoi(argv[1]));
    smtp.setCredentials(argv[2], argv[3]);
    const std::string mailFrom = "MAIL FROM: <" + std::string(argv[2]) + "@sina.test>\r\n";
    auto timed = [&](const std::string& line, int expected, std::vector<double>& micros) {
        const auto start = Clock::now();
        const int code = smtp.SendCmd(line);
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (code != expected)
            std::fprintf(stderr, "%.4s answered %d: %s\n", line.c_str(), code,
                         smtp.lastReply().c_str());
        return code == expected;
    };
    std::printf("command: %s %s %s <password> %d\n", argv[0], argv[1], argv[2], count);

    // The server drops a session after a handful of commands that send no
    // mail: NOOP is timed in short sessions (the log-in is not timed).
    std::vector<double> noop, mail, rcpt;
    for (int done = 0; done < count / 4;) {
        if (smtp.Connect("127.0.0.1") != 1) {
            std::fprintf(stderr, "connect failed: %s\n", smtp.lastReply().c_str());
            return 1;
        }
        for (int i = 0; i < 5 && done < count / 4; ++i, ++done)
            if (!timed("NOOP\r\n", 250, noop))
                return 1;
        smtp.Close();
    }
    // RCPT TO is a mail command, so any number of them fit in one session
    // (each one also looks the recipient up on the server).
    const std::string rcptTo = "RCPT TO: <" + std::string(argv[2]) + "@sina.test>\r\n";
    if (smtp.Connect("127.0.0.1") != 1 || !timed(mailFrom, 250, mail))
        return 1;
    for (int i = 0; i < count; ++i)
        if (!timed(rcptTo, 250, rcpt))
            return 1;
    smtp.Close();
    report("NOOP", noop);
    report("RCPT", rcpt);
    return 0;
}
