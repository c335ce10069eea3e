// The tests' fault relay as a program, for runs by hand: it cuts the
// client's side of the relayed sessions every so many bytes (counted over
// all sessions) and runs until killed (SIGTERM, SIGINT), printing its port
// first and every cut as it happens.
//
//   bench_fault_relay_run TARGET_PORT CUT_EVERY_BYTES [HOST]
//
// HOST (127.0.0.1 unless given) is both where it listens and the target.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/fault_relay.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s TARGET_PORT CUT_EVERY_BYTES [HOST]\n", argv[0]);
        return 2;
    }
    const int target = std::atoi(argv[1]);
    parvola::test::FaultRelay::Plan plan;
    plan.cutSide = parvola::test::FaultRelay::Side::FromClient;
    plan.cutEvery = std::atoll(argv[2]);
    const std::string host = argc > 3 ? argv[3] : "127.0.0.1";
    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);
    parvola::test::FaultRelay relay(host, host, target, plan);
    std::printf("%d\n", relay.port());
    std::fflush(stdout);
    int reported = 0;
    while (stopRequested == 0) {
        // A signal ends the sleep early; the cut count is looked at twice a second.
        struct timespec half = {0, 500000000};
        nanosleep(&half, nullptr);
        for (; reported < relay.cuts(); ++reported)
            std::fprintf(stderr, "relay: cut %d\n", reported + 1);
    }
    std::fprintf(stderr, "relay: %d cuts in all\n", relay.cuts());
    return 0;
}
