// A store and a read of one file through the upload and download workers'
// bodies (the whole pipelines: catalog record, piece cutting, mails, piece
// search, joining), plain or encrypted, against a running test mail server:
//
//   bench_encrypted_transfer SMTP_PORT POP3_PORT USER PASSWORD FILE plain|encrypted [RUNS [ROW]]
//
// USER is a mailbox user of the server on 127.0.0.1 (tests/mailserver/mailstack.sh
// adduser). The account is the provider row ROW (default "qq", 49 MiB pieces;
// "sohu" cuts 6 MiB ones) of a deploy.ini written here. Each run stores the
// file into a fresh application directory and reads it back; prints each
// run's seconds, the process's peak resident memory during the read alone
// (the peak is reset before it), and the medians in MB/s.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "catalog/catalog.h"
#include "catalog/catalog_hooks.h"
#include "transfer/account_keys.h"
#include "transfer/key_mail.h"
#include "transfer/transfer_workers.h"

namespace {

using namespace parvola;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Resets the process's peak resident memory (VmHWM) to what it holds now.
void resetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The peak resident memory since the last reset, in KiB.
long peakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr,
                     "usage: %s SMTP_PORT POP3_PORT USER PASSWORD FILE plain|encrypted "
                     "[RUNS]\n",
                     argv[0]);
        return 2;
    }
    const std::string smtpPort = argv[1], pop3Port = argv[2], user = argv[3], password = argv[4];
    const std::string file = fs::absolute(argv[5]).string();
    const bool encrypted = std::string(argv[6]) == "encrypted";
    const int runs = argc > 7 ? std::atoi(argv[7]) : 3;
    const std::string provider = argc > 8 ? argv[8] : "qq";
    const auto size = static_cast<double>(fs::file_size(file));

    char pattern[] = "/tmp/parvola-bench-crypt-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 1;
    const fs::path root = pattern;
    installTransferEngine();
    CatalogHooks hooks = catalogHooks();
    hooks.notify = [](const std::string&) {};
    hooks.startCatalogMail = nullptr;  // only the pieces are timed
    setCatalogHooks(hooks);

    MailboxAccount account(user + "@" + provider + ".test", "secret");
    account.loginAddress = account.mailboxAddress = account.typedAddress;
    account.mailboxUser = user;
    account.mailboxPassword = password;
    account.smtpHost = account.pop3Host = "127.0.0.1";
    account.smtpPort = std::atoi(smtpPort.c_str());
    account.pop3Port = std::atoi(pop3Port.c_str());

    std::vector<double> stores, reads;
    for (int run = 0; run < runs; ++run) {
        const fs::path home = root / ("home" + std::to_string(run));
        fs::create_directories(home);
        setenv("PARVOLA_HOME", home.c_str(), 1);
        std::ofstream(home / "deploy.ini")
            << "[ports]\nsmtp=" << smtpPort << "\npop3=" << pop3Port << "\n[" << provider
            << "]\nsmtp=127.0.0.1\npop3=127.0.0.1\n";
        clearLoggedInAccounts();
        forgetAllAccountKeys();
        addLoggedInAccount(account);
        Catalog(account.loginAddress).createNew(account.loginAddress);
        if (encrypted) {
            // The user's first encrypted run makes the key mail; later ones open it.
            KeyMailResult key = unlockEncryption(account, "bench passphrase");
            if (key == KeyMailResult::NotEncrypted)
                key = enableEncryption(account, "bench passphrase");
            if (key != KeyMailResult::Ok) {
                std::fprintf(stderr, "key mail: %d\n", static_cast<int>(key));
                return 1;
            }
        }
        auto start = Clock::now();
        if (runUploadWorker(account.loginAddress, file, "我的文档") != UploadOutcome::Stored) {
            std::fprintf(stderr, "store failed\n");
            return 1;
        }
        stores.push_back(since(start));
        Catalog catalog(account.loginAddress);
        std::vector<CatalogRow> rows;
        catalog.listFolder("我的文档", rows);
        DownloadInputs inputs;
        for (const CatalogRow& row : rows) {
            if (row.type == kFileType) {
                inputs.storedSubject = row.subject;
                inputs.fileName = row.name;
                inputs.fileSize = row.size;
                inputs.catalogFolder = row.path;
            }
        }
        inputs.saveFolder = (home / "saved").string();
        resetPeakMemory();
        start = Clock::now();
        std::string saved;
        if (runDownloadWorker(account.loginAddress, inputs, &saved) != DownloadOutcome::Saved ||
            fs::file_size(saved) != fs::file_size(file)) {
            std::fprintf(stderr, "read failed\n");
            return 1;
        }
        reads.push_back(since(start));
        std::printf("run %d: store %.2f s, read %.2f s, read peak RSS %ld KiB\n", run + 1,
                    stores.back(), reads.back(), peakMemoryKiB());
        fs::remove_all(home);
    }
    std::printf("%s, %.1f MB: store median %.1f MB/s, read median %.1f MB/s\n",
                encrypted ? "encrypted" : "plain", size / 1e6, size / median(stores) / 1e6,
                size / median(reads) / 1e6);
    fs::remove_all(root);
    return 0;
}
