// The piece digest with the real mail server: a store mail carries the
// SHA-256 of its piece and reads back; the same mail changed in the server's
// Maildir is refused with a message that says so, and no file is left: at the
// reader, and through the download worker that tells the user.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "mail/mime_reader_text.h"
#include "mail/piece_digest.h"
#include "mail/pop3_connection.h"
#include "tests/support/mail_stack.h"
#include "tests/support/temp_dir.h"
#include "tests/transfer/pipeline_itest_support.h"
#include "transfer/download_pipeline.h"
#include "transfer/piece_search.h"
#include "transfer/store_mail.h"
#include "transfer/upload_pipeline.h"

namespace parvola {
namespace {

namespace fs = std::filesystem;
using test::MailStack;

// Where the attachment named `name` is named in a stored message (the file
// name's quotation is left open by our composer, so the name ends the line);
// npos when it is not there.
size_t attachmentNamed(const std::string& text, const std::string& name) {
    const std::string mark = "filename=\"" + name;
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1)) {
        const size_t end = at + mark.size();
        if (end < text.size() && (text[end] == '"' || text[end] == '\r' || text[end] == '\n'))
            return at;
    }
    return std::string::npos;
}

// The message file of the user's Maildir whose attachment is named `name`.
fs::path storedMessage(const std::string& user, const std::string& name = "2") {
    fs::path found;
    for (const char* sub : {"new", "cur"}) {
        const fs::path dir = fs::path(MailStack::maildir(user)) / sub;
        if (!fs::is_directory(dir))
            continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (attachmentNamed(test::readFile(entry.path()), name) != std::string::npos)
                found = entry.path();
        }
    }
    return found;
}

// Changes one character of the first base64 line of the attachment named
// `name`, in place (same length, same file), as a damaged relay or store might.
bool damageAttachment(const fs::path& message, const std::string& name = "2") {
    std::string text = test::readFile(message);
    const size_t disposition = attachmentNamed(text, name);
    // Dovecot keeps messages with bare line feeds in its Maildir.
    const size_t body = text.find("\n\n", disposition == std::string::npos ? 0 : disposition);
    if (disposition == std::string::npos || body == std::string::npos)
        return false;
    char& c = text[body + 2 + 10];
    c = c == 'A' ? 'B' : 'A';
    std::fstream file(message, std::ios::in | std::ios::out | std::ios::binary);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(file);
}

int readBack(const std::string& user, const fs::path& folder, std::string& lastReply) {
    Pop3Connection pop3;
    if (!pop3.Connect("127.0.0.1", user, "pw", MailStack::pop3Port()))
        return -100;
    int count = 0, total = 0;
    if (!pop3.Statistics(count, total) || count != 1)
        return -101;
    const int result = pop3.SaveAttachments(1, folder.string());
    lastReply = pop3.lastReply();
    pop3.Disconnect();
    return result;
}

TEST(PieceDigestMailbox, StoredPieceCarriesItsDigestAndAChangedOneIsRefused) {
    ASSERT_TRUE(MailStack::running());
    const std::string user = MailStack::uniqueUser("digest");
    ASSERT_TRUE(MailStack::addUser(user, "pw"));
    test::TempDir dir;
    const std::string bytes = test::randomBytes(120 * 1024 + 5, 21);
    test::writeFile(dir / "2", bytes);

    MailboxAccount account;
    account.mailboxAddress = user + "@sina.test";
    account.mailboxUser = user;
    account.mailboxPassword = "pw";
    account.smtpHost = "127.0.0.1";
    account.smtpPort = MailStack::smtpPort();
    StoreMail mail;
    mail.subject = "PARVOL:;data.bin;9;1256450000;122885;0000000000;1;2";
    mail.bodyText = mail.subject;
    mail.attachmentPath = (dir / "2").string();
    ASSERT_EQ(SendStoreMail(account, mail), 0);

    const fs::path stored = storedMessage(user);
    ASSERT_FALSE(stored.empty());
    std::string raw;
    for (char c : test::readFile(stored)) {  // the Maildir's bare line feeds as on the wire
        if (c == '\n')
            raw += '\r';
        raw += c;
    }
    const MimeMessageText text(raw);
    EXPECT_EQ(text.GetHeaderField(kPieceDigestHeader, 0), sha256Hex(bytes));
    EXPECT_EQ(text.GetSubject(), mail.subject);

    std::string reply;
    test::TempDir good;
    EXPECT_EQ(readBack(user, good.path(), reply), 0) << reply;
    EXPECT_TRUE(test::readFile(good / "2") == bytes);

    ASSERT_TRUE(damageAttachment(storedMessage(user)));
    test::TempDir bad;
    EXPECT_EQ(readBack(user, bad.path(), reply), -1);
    EXPECT_FALSE(fs::exists(bad / "2"));
    EXPECT_NE(reply.find("The piece 2 read back differs from the piece that was stored"),
              std::string::npos)
        << reply;
}

using DigestPipeline = test::PipelineTest;

// A file of two pieces whose second piece was changed in the mailbox: the
// read fails with the integrity message (not the network one), once, and
// leaves neither the file nor its ".part" in the save folder.
TEST_F(DigestPipeline, AChangedPieceFailsTheReadWithTheIntegrityMessage) {
    const MailboxAccount account = login("sohu");  // pieces of 6 MiB
    const std::string bytes = test::randomBytes(6 * test::kMiB + 5000, 41);
    const std::string path = source("账本.bin", bytes);
    ASSERT_EQ(runUploadWorker(account.loginAddress, path, test::kDocuments), UploadOutcome::Stored);
    const CatalogRow record = fileRecord(account.loginAddress, test::kDocuments, "账本.bin");
    ASSERT_FALSE(record.subject.empty());

    // Untouched, it reads back whole.
    test::TempDir good("parvola-saves");
    ASSERT_EQ(readBack(account.loginAddress, record, good.str()), DownloadOutcome::Saved);
    EXPECT_TRUE(test::readFile(good / "账本.bin") == bytes);

    const fs::path second = storedMessage(account.mailboxUser, "2");
    ASSERT_FALSE(second.empty());
    ASSERT_TRUE(damageAttachment(second, "2"));
    EXPECT_EQ(readBack(account.loginAddress, record, saves.str()), DownloadOutcome::PieceAltered);
    EXPECT_EQ(notices.messages(),
              std::vector<std::string>{
                  "文件:账本.bin读回的内容与存入时不一致,邮箱中的邮件已被改动,下载失败!"});
    EXPECT_TRUE(fs::is_empty(saves.path())) << "nothing of the file may stay in the save folder";
    EXPECT_TRUE(taskList().tasks().empty());
}

}  // namespace
}  // namespace parvola

namespace parvola {
namespace {

// The Maildir files carrying an attachment named `name`, oldest first (the
// names begin with the delivery's seconds and microseconds).
std::vector<fs::path> storedCopies(const std::string& user, const std::string& name) {
    std::vector<std::pair<std::pair<long long, long long>, fs::path>> found;
    for (const char* sub : {"new", "cur"}) {
        const fs::path dir = fs::path(test::MailStack::maildir(user)) / sub;
        if (!fs::is_directory(dir))
            continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (attachmentNamed(test::readFile(entry.path()), name) == std::string::npos)
                continue;
            const std::string file = entry.path().filename().string();
            const long long seconds = std::atoll(file.c_str());
            const size_t m = file.find(".M");
            const long long micros = m == std::string::npos ? 0 : std::atoll(file.c_str() + m + 2);
            found.push_back({{seconds, micros}, entry.path()});
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<fs::path> paths;
    for (const auto& [when, path] : found)
        paths.push_back(path);
    return paths;
}

using DuplicatePieces = test::PipelineTest;

// A piece stored twice (a store whose session broke after the server kept
// the mail): the read takes a copy whose digest checks, the older one when
// the newer was changed; only when every copy fails is the file altered. A
// purge removes every copy.
TEST_F(DuplicatePieces, AReadTakesAValidCopyAndAPurgeRemovesEveryCopy) {
    const MailboxAccount account = login("sohu");
    const std::string bytes = test::randomBytes(6 * test::kMiB + 5000, 43);
    ASSERT_EQ(runUploadWorker(account.loginAddress, source("双份.bin", bytes), test::kDocuments),
              UploadOutcome::Stored);
    const CatalogRow record = fileRecord(account.loginAddress, test::kDocuments, "双份.bin");
    const PieceSubject stored = parseSubject(record.subject);
    std::vector<PieceSubject> pieces = test::pieceMails(account, "双份.bin", stored.fileId);
    ASSERT_EQ(pieces.size(), 2u);

    // Piece 2 once more, as a second try would have sent it.
    test::TempDir piece;
    test::writeFile(piece / "2", bytes.substr(6 * test::kMiB));
    PieceSubject second = pieces[0].pieceIndex == 2 ? pieces[0] : pieces[1];
    second.time += 3;
    StoreMail mail;
    mail.subject = mail.bodyText = formatSubject(second);
    mail.attachmentPath = (piece / "2").string();
    ASSERT_EQ(SendStoreMail(account, mail), 0);
    ASSERT_TRUE(test::waitFor([&] { return storedCopies(account.mailboxUser, "2").size() == 2; }));

    const std::vector<fs::path> copies = storedCopies(account.mailboxUser, "2");
    ASSERT_TRUE(damageAttachment(copies[1], "2"));  // the newer copy
    ASSERT_EQ(readBack(account.loginAddress, record, saves.str()), DownloadOutcome::Saved);
    EXPECT_TRUE(test::readFile(saves / "双份.bin") == bytes);
    EXPECT_TRUE(notices.messages().empty());

    // The read moved the messages from "new" to "cur": looked up again.
    const std::vector<fs::path> moved = storedCopies(account.mailboxUser, "2");
    ASSERT_EQ(moved.size(), 2u);
    ASSERT_TRUE(damageAttachment(moved[0], "2"));  // now every copy
    test::TempDir other("parvola-saves");
    EXPECT_EQ(readBack(account.loginAddress, record, other.str()), DownloadOutcome::PieceAltered);
    EXPECT_TRUE(fs::is_empty(other.path()));

    EXPECT_EQ(RemovePieceMails(account, record.subject), 3);
    EXPECT_EQ(test::pieceMailCount(account), 0);
}

// An upload saved at an exit right after its piece 2 went out, before its
// record said so: the resumed upload finds the valid copy in the mailbox and
// does not send the piece a second time.
TEST_F(DuplicatePieces, AResumedUploadDoesNotSendAPieceTheMailboxHolds) {
    const MailboxAccount account = login("sohu");
    const long long pieceSize = 6 * test::kMiB;
    const std::string bytes = test::randomBytes(static_cast<size_t>(2 * pieceSize + 77), 47);
    const std::string path = source("续传.bin", bytes);

    TransferTask task;
    task.user = account.loginAddress;
    task.direction = TransferDirection::Upload;
    task.fileName = "续传.bin";
    task.localPath = path;
    task.fileSize = static_cast<long long>(bytes.size());
    task.catalogFolder = test::kDocuments;
    task.startTime = 1256450000;
    task.pieceSize = pieceSize;
    task.fileId = 4321;
    task.nextPieceIndex = 2;
    test::TempDir cut;
    for (int index = 1; index <= 2; ++index) {
        PieceSubject subject;
        subject.fileName = task.fileName;
        subject.fileId = task.fileId;
        subject.time = 1256450000 + index;
        subject.pieceLength = pieceSize;
        subject.pieceCount = 3;
        subject.pieceIndex = index;
        const std::string name = std::to_string(index);
        test::writeFile(cut / name, bytes.substr(static_cast<size_t>((index - 1) * pieceSize),
                                                 static_cast<size_t>(pieceSize)));
        StoreMail mail;
        mail.subject = mail.bodyText = formatSubject(subject);
        mail.attachmentPath = (cut / name).string();
        ASSERT_EQ(SendStoreMail(account, mail), 0);
        if (index == 1)
            task.subject = mail.subject;
    }
    ASSERT_TRUE(test::waitFor([&] { return test::pieceMailCount(account) == 2; }));

    taskList().addTask(task);
    ASSERT_EQ(ResumeUpload(task, account), UploadOutcome::Stored);
    // Piece 2 was found whole in the mailbox; only piece 3 went out.
    ASSERT_TRUE(test::waitFor([&] { return test::pieceMailCount(account) >= 3; }));
    const CatalogRow record = fileRecord(account.loginAddress, test::kDocuments, "续传.bin");
    ASSERT_EQ(readBack(account.loginAddress, record, saves.str()), DownloadOutcome::Saved);
    EXPECT_TRUE(test::readFile(saves / "续传.bin") == bytes);
    // Long after the store: still one mail per piece.
    EXPECT_EQ(test::pieceMails(account, "续传.bin", task.fileId).size(), 3u);
}

}  // namespace
}  // namespace parvola
