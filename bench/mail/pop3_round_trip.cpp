// Round trip of one POP3 command (STAT) on loopback: the time from sending
// the command to having judged the complete reply. Replies are waited for
// with poll, so the figure is the server's answer time, not a polling step.
//
//   bash tests/mailserver/fixture.sh start /tmp/parvola-ms-2535 2535 1120
//   bash tests/mailserver/mailstack.sh adduser /tmp/parvola-ms-2535 benchuser benchpw
//   build/bench/mail/bench_pop3_round_trip 1120 benchuser benchpw 5000
//   bash tests/mailserver/fixture.sh stop /tmp/parvola-ms-2535
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "mail/pop3_connection.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s POP3_PORT USER PASSWORD [ROUNDS] [HOST]\n", argv[0]);
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 2000;
    const char* host = argc > 5 ? argv[5] : "127.0.0.1";

    parvola::Pop3Connection pop3;
    if (!pop3.Connect(host, argv[2], argv[3], port)) {
        std::fprintf(stderr, "login failed (%d): %s\n", pop3.lastError(), pop3.lastReply().c_str());
        return 1;
    }
    int count = 0, total = 0;
    for (int i = 0; i < 50; ++i)
        pop3.Statistics(count, total);  // warm up

    using Clock = std::chrono::steady_clock;
    std::vector<double> micros;
    micros.reserve(static_cast<size_t>(rounds));
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        if (!pop3.Statistics(count, total)) {
            std::fprintf(stderr, "STAT failed (%d): %s\n", pop3.lastError(),
                         pop3.lastReply().c_str());
            return 1;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    pop3.Disconnect();

    std::sort(micros.begin(), micros.end());
    auto at = [&](double q) { return micros[static_cast<size_t>(q * (micros.size() - 1))]; };
    std::printf("POP3 STAT round trip on %s:%d, %d rounds (%d messages in the mailbox)\n", host,
                port, rounds, count);
    std::printf("  min %.1f us  median %.1f us  p90 %.1f us  p99 %.1f us  max %.1f us\n",
                micros.front(), at(0.5), at(0.9), at(0.99), micros.back());
    return 0;
}
