// What finding and reading the pieces of one stored file costs against a
// real POP3 server: TOP and RETR commands and wall time, for the search of
// one session per piece reading headers from the newest message down ("per
// piece"), and for one session sharing its header reads and the subject cache
// ("shared"). See bench/RESULTS.md for the set-up that fills the mailbox.
//
//   bench_download_cost store SMTP_PORT USER PASSWORD PIECES [HOST]
//       stores PIECES small pieces of "bench.bin" (file id 77); prints piece 1's subject
//   bench_download_cost per-piece POP3_PORT USER PASSWORD SUBJECT FOLDER [HOST]
//   bench_download_cost shared POP3_PORT USER PASSWORD SUBJECT FOLDER [HOST]
//   bench_download_cost shared-fresh ...   (the same, first removing the subject cache)
//   bench_download_cost imap IMAP_PORT USER PASSWORD SUBJECT FOLDER [HOST]
//   bench_download_cost imap-fresh ...     (the shared search read over IMAP; prints the
//                                           IMAP commands of the session and the subjects
//                                           the engine asked for)
//
// The subject cache lives in the application directory: set PARVOLA_HOME.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "mail/imap_mailbox.h"
#include "mail/mime_reader_text.h"
#include "mail/pop3_connection.h"
#include "transfer/mailbox_factory.h"
#include "transfer/mailbox_index.h"
#include "transfer/piece_search.h"
#include "transfer/piece_subject.h"
#include "transfer/store_mail.h"

namespace {

using namespace parvola;

int store(const MailboxAccount& account, int pieces) {
    const auto folder = std::filesystem::temp_directory_path() / "parvola-bench-pieces";
    std::filesystem::create_directories(folder);
    PieceSubject subject;
    subject.fileName = "bench.bin";
    subject.fileId = 77;
    subject.time = 1700000000;
    subject.pieceLength = 4096;
    subject.pieceCount = pieces;
    std::string first;
    for (int i = 1; i <= pieces; ++i) {
        const auto path = folder / std::to_string(i);
        std::ofstream(path, std::ios::binary) << std::string(4096, static_cast<char>('a' + i % 26));
        subject.pieceIndex = i;
        StoreMail mail;
        mail.subject = mail.bodyText = formatSubject(subject);
        mail.attachmentPath = path.string();
        if (SendStoreMail(account, mail) != 0) {
            std::fprintf(stderr, "piece %d not sent\n", i);
            return 1;
        }
        if (i == 1)
            first = mail.subject;
    }
    std::printf("%s\n", first.c_str());
    return 0;
}

// The search as it was: a session per piece, headers from the newest down.
int perPiece(const MailboxAccount& account, const PieceSubject& stored, const std::string& folder,
             int& tops, int& retrs) {
    for (int i = 1; i <= stored.pieceCount; ++i) {
        Pop3Connection pop3;
        if (!pop3.Connect(account.pop3Host, account.mailboxUser, account.mailboxPassword,
                          account.pop3Port))
            return -1;
        int count = 0, total = 0;
        if (!pop3.Statistics(count, total))
            return -1;
        int found = -1;
        for (int n = count; n >= 1 && found < 0; --n) {
            std::string header;
            if (!pop3.GetMessageHeader(n, header))
                return -1;
            ++tops;
            const std::string text = MimeMessageText(std::move(header)).GetSubject();
            if (!looksLikePieceSubject(text))
                continue;
            const PieceSubject c = parseSubject(text);
            if (c.tag == stored.tag && c.fileName == stored.fileName && c.fileId == stored.fileId &&
                c.pieceIndex == i)
                found = n;
        }
        if (found < 0 || pop3.DownloadAttachments(found, folder, -1, nullptr) != 0)
            return -1;
        ++retrs;
        pop3.Disconnect();
    }
    return 0;
}

int shared(const MailboxAccount& account, const PieceSubject& stored, const std::string& folder,
           int& tops, int& retrs, ImapMailbox* const* imap = nullptr, int* commands = nullptr) {
    PieceSession session(account);
    for (int i = 1; i <= stored.pieceCount; ++i) {
        PieceSubject wanted = stored;
        wanted.pieceIndex = i;
        if (session.fetch(formatSubject(wanted), folder, -1, nullptr) != 0)
            return -1;
        ++retrs;
    }
    session.close();
    tops = session.headersRead();
    if (imap != nullptr && *imap != nullptr && commands != nullptr)
        *commands = (*imap)->sessionCommands();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr,
                     "usage: %s store SMTP_PORT USER PASSWORD PIECES [HOST]\n"
                     "       %s per-piece|shared|shared-fresh POP3_PORT USER PASSWORD SUBJECT "
                     "FOLDER [HOST]\n",
                     argv[0], argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    MailboxAccount account;
    account.mailboxUser = argv[3];
    account.mailboxPassword = argv[4];
    if (mode == "store") {
        account.mailboxAddress = account.mailboxUser + "@sina.test";
        account.smtpHost = argc > 6 ? argv[6] : "127.0.0.1";
        account.smtpPort = std::atoi(argv[2]);
        return store(account, std::atoi(argv[5]));
    }
    if (argc < 7)
        return 2;
    account.pop3Host = argc > 7 ? argv[7] : "127.0.0.1";
    account.pop3Port = std::atoi(argv[2]);
    const bool imap = mode == "imap" || mode == "imap-fresh";
    ImapMailbox* imapMailbox = nullptr;
    if (imap) {
        // The cache name stays the POP3 one's (user@host:port), so the IMAP
        // runs keep a cache of their own by a port of their own.
        account.reader = MailboxReader::Imap;
        account.imapHost = account.pop3Host;
        account.imapPort = account.pop3Port;
        setMailboxFactory([&imapMailbox](const MailboxAccount& a) {
            auto mailbox = std::make_unique<ImapMailbox>(a);
            imapMailbox = mailbox.get();
            return std::unique_ptr<Mailbox>(std::move(mailbox));
        });
    }
    const PieceSubject stored = parseSubject(argv[5]);
    const std::string folder = argv[6];
    std::filesystem::create_directories(folder);
    if (mode == "shared-fresh" || mode == "imap-fresh") {
        std::error_code error;
        std::filesystem::remove(mailboxCachePath(mailboxCacheName(account)), error);
    }
    int tops = 0, retrs = 0;
    const auto start = std::chrono::steady_clock::now();
    int commands = 0;
    const int result = mode == "per-piece"
                           ? perPiece(account, stored, folder, tops, retrs)
                           : shared(account, stored, folder, tops, retrs, &imapMailbox, &commands);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (imap)
        std::printf("%s: result %d, %d subjects asked, %d pieces, %d IMAP commands, %.1f ms\n",
                    mode.c_str(), result, tops, retrs, commands, ms);
    else
        std::printf("%s: result %d, %d TOP, %d RETR, %.1f ms\n", mode.c_str(), result, tops, retrs,
                    ms);
    return result == 0 ? 0 : 1;
}
