// Speed of the crypto layer on one core:
//
//   crypto_bench [megabytes] [runs] [block KiB]
//
// seals a piece of random bytes through PieceEncryptor in blocks of the given
// size (as the upload reads its file), opens it through PieceDecryptor in the
// same blocks (as the attachment arrives), seals and opens it as one catalog,
// and times one unwrap of a key wrapped with the default Argon2id parameters.
// Prints the median, minimum and maximum of each in MB/s (10^6 bytes).
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "crypto/catalog_seal.h"
#include "crypto/key_wrap.h"
#include "crypto/piece_stream.h"

namespace {

using namespace parvola;
using Clock = std::chrono::steady_clock;

// Wall time and this thread's CPU time of one call: on a machine shared
// with other work the CPU time is the figure for one core.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

Timing timed(const std::function<void()>& work) {
    auto start = Clock::now();
    double cpuStart = threadCpuSeconds();
    work();
    return Timing{std::chrono::duration<double>(Clock::now() - start).count(),
                  threadCpuSeconds() - cpuStart};
}

void report(const char* what, const std::vector<Timing>& timings, double bytes) {
    auto rates = [&](double Timing::*field) {
        std::vector<double> rate;
        for (const Timing& timing : timings) {
            rate.push_back(bytes / (timing.*field) / 1e6);
        }
        std::sort(rate.begin(), rate.end());
        return rate;
    };
    std::vector<double> cpu = rates(&Timing::cpu), wall = rates(&Timing::wall);
    std::printf(
        "%-14s per CPU second: median %7.1f MB/s (min %.1f, max %.1f); wall: median %.1f MB/s\n",
        what, cpu[cpu.size() / 2], cpu.front(), cpu.back(), wall[wall.size() / 2]);
}

void check(CryptoResult result, const char* what) {
    if (result != CryptoResult::Ok) {
        std::fprintf(stderr, "%s: %s\n", what, cryptoResultName(result));
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    size_t block = (argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 1024) * 1024;
    if (megabytes == 0 || runs <= 0 || block == 0) {
        std::fprintf(stderr, "usage: crypto_bench [megabytes] [runs] [block KiB]\n");
        return 2;
    }

    std::string plain(megabytes << 20, '\0');
    std::mt19937_64 random(42);
    for (size_t i = 0; i + 8 <= plain.size(); i += 8) {
        uint64_t value = random();
        std::copy_n(reinterpret_cast<const char*>(&value), 8, plain.data() + i);
    }
    DataKey data, pieces, catalog;
    check(DataKey::random(data), "key");
    check(data.derive(KeyPurpose::Pieces, pieces), "derive");
    check(data.derive(KeyPurpose::Catalog, catalog), "derive");
    PieceBinding binding{1234, 1, "bench"};

    std::string sealed;
    sealed.reserve(encryptedPieceSize(plain.size()));
    std::string opened;
    opened.reserve(plain.size());
    std::vector<Timing> encrypt, decrypt, seal, open;
    for (int run = 0; run < runs; ++run) {
        encrypt.push_back(timed([&] {
            sealed.clear();
            PieceEncryptor encryptor;
            check(encryptor.start(pieces, binding, sealed), "start");
            for (size_t at = 0; at < plain.size(); at += block) {
                check(encryptor.push(std::string_view(plain).substr(at, block), sealed), "push");
            }
            check(encryptor.finish(sealed), "finish");
        }));
        decrypt.push_back(timed([&] {
            opened.clear();
            PieceDecryptor decryptor;
            check(decryptor.start(pieces, binding), "start");
            for (size_t at = 0; at < sealed.size(); at += block) {
                check(decryptor.push(std::string_view(sealed).substr(at, block), opened), "pull");
            }
            check(decryptor.finish(opened), "finish");
        }));
        if (opened != plain) {
            std::fprintf(stderr, "round trip differs\n");
            return 1;
        }
        std::string catalogSealed, catalogOpened;
        seal.push_back(timed([&] { check(sealCatalog(catalog, plain, catalogSealed), "seal"); }));
        open.push_back(
            timed([&] { check(openCatalog(catalog, catalogSealed, catalogOpened), "open"); }));
    }
    std::printf("%zu MiB, %d runs, blocks of %zu KiB, chunks of %zu KiB\n", megabytes, runs,
                block / 1024, kPieceChunkBytes / 1024);
    report("piece encrypt", encrypt, static_cast<double>(plain.size()));
    report("piece decrypt", decrypt, static_cast<double>(plain.size()));
    report("catalog seal", seal, static_cast<double>(plain.size()));
    report("catalog open", open, static_cast<double>(plain.size()));

    std::string wrapped;
    KdfParams defaults;
    check(wrapDataKey(data, "a passphrase", defaults, wrapped), "wrap");
    DataKey unwrapped;
    double unwrap =
        timed([&] { check(unwrapDataKey(wrapped, "a passphrase", unwrapped), "unwrap"); }).wall;
    std::printf("unwrap (Argon2id, ops %llu, %llu MiB): %.2f s\n",
                static_cast<unsigned long long>(defaults.opsLimit),
                static_cast<unsigned long long>(defaults.memLimit >> 20), unwrap);
    return 0;
}
