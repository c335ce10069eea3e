// Throughput of the base64 codec on a large buffer.
//   bench_base64_bench [MiB]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mail/base64.h"
#include "tests/support/temp_dir.h"

using namespace parvola;
using Clock = std::chrono::steady_clock;

template <typename Fn>
double bestSeconds(int rounds, Fn fn) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        fn();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

int main(int argc, char** argv) {
    const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const std::string data = test::randomBytes(mib << 20, 1);
    std::string line(base64EncodedLength(data.size()), '\0');
    const double encode =
        bestSeconds(5, [&] { base64EncodeTo(data.data(), data.size(), line.data()); });
    std::string wrapped;
    wrapped.reserve(line.size() + line.size() / 38 + 2);
    const double wrap = bestSeconds(5, [&] {
        wrapped.clear();
        base64AppendWrapped(data, 76, wrapped);
    });
    std::string decoded;
    bool ok = true;
    const double decode = bestSeconds(3, [&] { ok = base64Decode(line, decoded) && ok; });
    const double gb = static_cast<double>(data.size()) / 1e9;
    std::printf("command: bench_base64_bench %zu\n", mib);
    std::printf("input %zu MiB of random bytes, best of 5 (decode: 3)\n", mib);
    std::printf("encode, one line:        %.2f GB/s of input\n", gb / encode);
    std::printf("encode, 76-column lines: %.2f GB/s of input\n", gb / wrap);
    std::printf("decode:                  %.2f GB/s of output%s\n", gb / decode,
                ok && decoded == data ? "" : " (MISMATCH)");
    return ok && decoded == data ? 0 : 1;
}
