// Round trip of one SMTP command (NOOP and RSET) on loopback against a real
// server, after EHLO and AUTH LOGIN.
//   bench_smtp_command_bench PORT USER PASSWORD [COUNT]
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
    CSmtp smtp;
    smtp.Port = std::atoi(argv[1]);
    smtp.UserName = argv[2];
    smtp.Password = argv[3];
    if (smtp.Connect("127.0.0.1") != 1) {
        std::fprintf(stderr, "connect failed: %s\n", smtp.LastReply.c_str());
        return 1;
    }
    std::printf("command: %s %s %s <password> %d\n", argv[0], argv[1], argv[2], count);
    for (const char* command : {"NOOP", "RSET"}) {
        const std::string line = std::string(command) + "\r\n";
        std::vector<double> micros;
        micros.reserve(count);
        for (int i = 0; i < count; ++i) {
            const auto start = Clock::now();
            const int code = smtp.SendCmd(line);
            micros.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            if (code != 250) {
                std::fprintf(stderr, "%s answered %d: %s\n", command, code, smtp.LastReply.c_str());
                return 1;
            }
        }
        report(command, micros);
    }
    smtp.Close();
    return 0;
}
