// Peak resident memory while composing and sending one large file part,
// against a real server, as a multiple of the part size.
//   bench_smtp_memory_bench PORT USER PASSWORD [MiB]
// e.g. with the test server (see smtp_command_bench.cpp for the set-up):
//   build/bench/mail/bench_smtp_memory_bench 2555 bench benchpw 49
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "mail/smtp_client.h"
#include "mail/smtp_message.h"
#include "tests/support/temp_dir.h"

using namespace parvola;
using Clock = std::chrono::steady_clock;

namespace {

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

// Writes the file a MiB at a time so that making it does not raise the peak.
bool writeRandomFile(const std::string& path, size_t mib) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (size_t i = 0; i < mib && out; ++i) {
        const std::string chunk = test::randomBytes(1 << 20, static_cast<unsigned>(i + 1));
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s PORT USER PASSWORD [MiB]\n", argv[0]);
        return 2;
    }
    const size_t mib = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 49;
    test::TempDir dir("parvola-bench");
    const std::string path = (dir / "piece.bin").string();
    if (!writeRandomFile(path, mib))
        return 1;
    const std::string address = std::string(argv[2]) + "@sina.test";

    const double before = peakMiB();
    SmtpMessage message;
    message.setSender(SmtpAddress(address, address));
    message.setRecipient(SmtpAddress(address, address));
    message.setSubject("memory bench");
    message.addBody(SmtpMessageBody("Stored piece.", "text/plain", "iso-8859-1"));
    message.addBody(
        SmtpMessageBody("<html><body>memory bench</body></html>@", "text/html", "iso-8859-1"));
    message.addFile(SmtpFilePart(path, "", false, "", "iso-8859-1"));

    SmtpClient smtp;
    smtp.setPort(std::atoi(argv[1]));
    smtp.setCredentials(argv[2], argv[3]);
    const auto start = Clock::now();
    if (smtp.Connect("127.0.0.1") != 1) {
        std::fprintf(stderr, "connect failed: %s\n", smtp.lastReply().c_str());
        return 1;
    }
    const int result = smtp.SendMessage(message, -1);
    smtp.Close();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double after = peakMiB();
    if (result != 0) {
        std::fprintf(stderr, "send failed with %d: %s\n", result, smtp.lastReply().c_str());
        return 1;
    }
    const double part = static_cast<double>(mib);
    std::printf("command: %s %s %s <password> %zu\n", argv[0], argv[1], argv[2], mib);
    std::printf("part %zu MiB, sent in %.2f s (%.1f MiB/s of part)\n", mib, seconds,
                part / seconds);
    std::printf("peak RSS before %.1f MiB, after compose+send %.1f MiB\n", before, after);
    std::printf("peak RSS = %.2f x part size (growth while composing and sending %.2f x)\n",
                after / part, (after - before) / part);
    return 0;
}
