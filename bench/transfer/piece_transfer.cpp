// Storing a file as piece mails and reading it back on loopback, as the
// pipelines move it (SendStoreMail per piece; one PieceSession reading every
// piece), without the catalog and task list around them: the transport's
// throughput and the process's peak memory for large pieces. Time the whole
// process from outside (e.g. /usr/bin/time -v) for wall time and peak RSS.
//
//   bench_piece_transfer store SMTP_PORT USER PASSWORD FILE PIECE_MIB [HOST]
//       prints piece 1's subject
//   bench_piece_transfer read POP3_PORT USER PASSWORD SUBJECT FOLDER [HOST]
//       writes FOLDER/joined
//   bench_piece_transfer store-imap IMAP_PORT USER PASSWORD FILE PIECE_MIB [HOST]
//   bench_piece_transfer read-imap IMAP_PORT USER PASSWORD SUBJECT FOLDER [HOST]
//       the same over IMAP: APPEND to INBOX, and reading by IMAP
//   bench_piece_transfer compose - USER - FILE PIECE_MIB FOLDER
//       writes each piece's store mail, byte for byte what SMTP and APPEND
//       send, as FOLDER/N.eml (for another client to upload the same mails)
//
// After HOST, a number of CONNECTIONS (1 unless given) moves the pieces over
// that many connections at once, handed out as the pipelines hand them out
// (PieceScheduler): a store mail per piece on each, and a PieceSession of its
// own per connection for a read, each piece written at its place in the file.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "mail/store_mail.h"
#include "transfer/piece_scheduler.h"
#include "transfer/piece_search.h"
#include "transfer/piece_subject.h"
#include "transfer/store_mail.h"

namespace {

using namespace parvola;
namespace fs = std::filesystem;

bool copyRange(std::ifstream& in, const fs::path& to, long long length) {
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    std::vector<char> buffer(1 << 20);
    while (length > 0 && in) {
        const auto want = static_cast<std::streamsize>(
            std::min<long long>(length, static_cast<long long>(buffer.size())));
        in.read(buffer.data(), want);
        out.write(buffer.data(), in.gcount());
        length -= in.gcount();
    }
    return length == 0 && out.good();
}

// `folderForMails` non-empty: the mails are written there instead of stored.
int store(const MailboxAccount& account, const std::string& file, long long pieceBytes,
          const std::string& folderForMails = {}) {
    const fs::path folder = fs::temp_directory_path() / "parvola-bench-store";
    fs::create_directories(folder);
    const long long size = static_cast<long long>(fs::file_size(file));
    PieceSubject subject;
    subject.fileName = fs::path(file).filename().string();
    subject.fileId = 88;
    subject.time = 1700000000;
    subject.pieceLength = pieceBytes;
    subject.pieceCount = static_cast<int>((size + pieceBytes - 1) / pieceBytes);
    std::ifstream in(file, std::ios::binary);
    std::string first;
    for (int i = 1; i <= subject.pieceCount; ++i) {
        const fs::path piece = folder / std::to_string(i);
        if (!copyRange(in, piece, std::min(pieceBytes, size - (i - 1) * pieceBytes)))
            return 1;
        subject.pieceIndex = i;
        StoreMail mail;
        mail.subject = mail.bodyText = formatSubject(subject);
        mail.attachmentPath = piece.string();
        int result = 0;
        if (folderForMails.empty()) {
            result = SendStoreMail(account, mail);
        } else {
            std::ofstream(fs::path(folderForMails) / (std::to_string(i) + ".eml"), std::ios::binary)
                << storeMailText(mail, account.mailboxAddress);
        }
        fs::remove(piece);
        if (result != 0) {
            std::fprintf(stderr, "piece %d not sent (%d)\n", i, result);
            return 1;
        }
        if (i == 1)
            first = mail.subject;
    }
    std::printf("%s\n", first.c_str());
    return 0;
}

// The pieces over `connections` connections at once.
int storeMany(const MailboxAccount& account, const std::string& file, long long pieceBytes,
              int connections) {
    const fs::path folder = fs::temp_directory_path() / "parvola-bench-store";
    fs::create_directories(folder);
    const long long size = static_cast<long long>(fs::file_size(file));
    PieceSubject subject;
    subject.fileName = fs::path(file).filename().string();
    subject.fileId = 88;
    subject.time = 1700000000;
    subject.pieceLength = pieceBytes;
    subject.pieceCount = static_cast<int>((size + pieceBytes - 1) / pieceBytes);
    PieceScheduler scheduler(1, subject.pieceCount, connections);
    const auto work = [&](int index, int) {
        const fs::path piece = folder / std::to_string(index);
        std::ifstream in(file, std::ios::binary);
        in.seekg((index - 1) * pieceBytes);
        if (!copyRange(in, piece, std::min(pieceBytes, size - (index - 1) * pieceBytes)))
            return false;
        PieceSubject own = subject;
        own.pieceIndex = index;
        StoreMail mail;
        mail.subject = mail.bodyText = formatSubject(own);
        mail.attachmentPath = piece.string();
        const int result = SendStoreMail(account, mail);
        fs::remove(piece);
        if (result != 0)
            std::fprintf(stderr, "piece %d not sent (%d)\n", index, result);
        return result == 0;
    };
    if (!scheduler.run(work, {}))
        return 1;
    subject.pieceIndex = 1;
    std::printf("%s\n", formatSubject(subject).c_str());
    return 0;
}

int readMany(const MailboxAccount& account, const std::string& stored, const std::string& folder,
             int connections) {
    const PieceSubject subject = parseSubject(stored);
    const fs::path joined = fs::path(folder) / "joined";
    fs::create_directories(folder);
    const int out = ::open(joined.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0)
        return 1;
    PieceScheduler scheduler(1, subject.pieceCount, connections);
    std::vector<std::unique_ptr<PieceSession>> sessions;
    for (int slot = 0; slot < scheduler.slots(); ++slot) {
        sessions.push_back(std::make_unique<PieceSession>(account));
        fs::create_directories(fs::path(folder) / ("pieces" + std::to_string(slot)));
    }
    const auto work = [&](int index, int slot) {
        const fs::path pieces = fs::path(folder) / ("pieces" + std::to_string(slot));
        PieceSubject wanted = subject;
        wanted.pieceIndex = index;
        if (sessions[static_cast<size_t>(slot)]->fetch(formatSubject(wanted), pieces.string(), -1,
                                                       nullptr) != 0) {
            std::fprintf(stderr, "piece %d not read\n", index);
            return false;
        }
        const fs::path piece = pieces / std::to_string(index);
        std::ifstream in(piece, std::ios::binary);
        std::vector<char> buffer(1 << 20);
        off_t offset = static_cast<off_t>(index - 1) * subject.pieceLength;
        while (in) {
            in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            const auto got = static_cast<size_t>(in.gcount());
            if (got > 0 && ::pwrite(out, buffer.data(), got, offset) != static_cast<ssize_t>(got))
                return false;
            offset += static_cast<off_t>(got);
        }
        in.close();
        fs::remove(piece);
        return true;
    };
    const bool ok = scheduler.run(work, {});
    sessions.clear();
    return ::close(out) == 0 && ok ? 0 : 1;
}

int read(const MailboxAccount& account, const std::string& stored, const std::string& folder) {
    const PieceSubject subject = parseSubject(stored);
    const fs::path pieces = fs::path(folder) / "pieces";
    fs::create_directories(pieces);
    const fs::path joined = fs::path(folder) / "joined";
    std::ofstream out(joined, std::ios::binary | std::ios::trunc);
    PieceSession session(account);
    std::vector<char> buffer(1 << 20);
    for (int i = 1; i <= subject.pieceCount; ++i) {
        PieceSubject wanted = subject;
        wanted.pieceIndex = i;
        if (session.fetch(formatSubject(wanted), pieces.string(), -1, nullptr) != 0) {
            std::fprintf(stderr, "piece %d not read\n", i);
            return 1;
        }
        const fs::path piece = pieces / std::to_string(i);
        std::ifstream in(piece, std::ios::binary);
        while (in) {
            in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            out.write(buffer.data(), in.gcount());
        }
        in.close();
        fs::remove(piece);
    }
    return out.good() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr,
                     "usage: %s store SMTP_PORT USER PASSWORD FILE PIECE_MIB [HOST [CONNECTIONS]]\n"
                     "       %s read POP3_PORT USER PASSWORD SUBJECT FOLDER [HOST [CONNECTIONS]]\n"
                     "       %s store-imap|read-imap IMAP_PORT ... (as store and read)\n"
                     "       %s compose - USER - FILE PIECE_MIB FOLDER\n",
                     argv[0], argv[0], argv[0], argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    MailboxAccount account;
    account.mailboxUser = argv[3];
    account.mailboxPassword = argv[4];
    const char* host = argc > 7 ? argv[7] : "127.0.0.1";
    const int connections = argc > 8 ? std::atoi(argv[8]) : 1;
    account.mailboxAddress = account.mailboxUser + "@sina.test";
    if (mode == "store") {
        account.smtpHost = host;
        account.smtpPort = std::atoi(argv[2]);
        if (connections > 1)
            return storeMany(account, argv[5], std::atoll(argv[6]) << 20, connections);
        return store(account, argv[5], std::atoll(argv[6]) << 20);
    }
    if (mode == "compose" && argc > 7) {
        fs::create_directories(argv[7]);
        return store(account, argv[5], std::atoll(argv[6]) << 20, argv[7]);
    }
    if (mode == "store-imap" || mode == "read-imap") {
        // A loopback test server: plain text allowed.
        account.reader = MailboxReader::Imap;
        account.storeRoute = StoreRoute::ImapAppend;
        account.imapHost = host;
        account.imapPort = std::atoi(argv[2]);
        if (mode == "store-imap")
            return store(account, argv[5], std::atoll(argv[6]) << 20);
        return read(account, argv[5], argv[6]);
    }
    account.pop3Host = host;
    account.pop3Port = std::atoi(argv[2]);
    if (connections > 1)
        return readMany(account, argv[5], argv[6], connections);
    return read(account, argv[5], argv[6]);
}
