// A direct account's piece size below the limit its server announces: the
// real composed piece mail (longest file name, its subject twice, both text
// bodies, the digest header) is measured, never estimated; and the order
// of the choices (the user's size, the limit, the provider table).
#include "transfer/piece_size.h"

#include <gtest/gtest.h>

#include "mail/mailbox.h"
#include "mail/store_mail.h"
#include "tests/support/temp_dir.h"
#include "transfer/mailbox_factory.h"
#include "transfer/piece_plan.h"
#include "transfer/piece_subject.h"

namespace parvola::test {
namespace {

TEST(PieceSize, TheComposedPieceMailStaysUnderEveryLimit) {
    TempDir dir;
    // A 255-byte file name of three-byte characters: its subject and its
    // attachment name are encoded words, the longest a piece mail carries.
    std::string name;
    while (name.size() + 3 <= 251)
        name += "档";
    name += ".bin";
    for (uint64_t limit : {100u << 10, 300u << 10, 1u << 20, 7u << 20, 25u << 20}) {
        const long long size = pieceSizeUnderLimit(limit);
        ASSERT_GT(size, 0);
        EXPECT_LE(pieceMailSize(size), limit);
        const auto path = dir / name;
        writeFile(path, randomBytes(static_cast<size_t>(size), 3));
        PieceSubject subject;
        subject.fileName = name;
        subject.fileId = 32767;
        subject.time = 4102444800;
        subject.pieceLength = size;
        subject.pieceCount = 9999;
        subject.pieceIndex = 9999;
        StoreMail mail;
        mail.subject = formatSubject(subject);
        mail.bodyText = mail.subject;
        mail.attachmentPath = path.string();
        std::string text;
        composeStoreMail(mail, "someone.with.a.long.name@mail.example.org").GetMessageText(text);
        // Room remains for the headers the receiving servers add.
        EXPECT_LE(text.size() + 4096, limit) << "limit " << limit << ", piece " << size;
        // Not wasteful either: the piece takes most of what the limit allows.
        EXPECT_GT(static_cast<double>(size), 0.6 * static_cast<double>(limit)) << limit;
    }
    EXPECT_EQ(pieceSizeUnderLimit(1ull << 40), kLargestPieceSize);
}

class LimitMailbox : public Mailbox {
  public:
    explicit LimitMailbox(uint64_t limit, int* asked) : limit_(limit), asked_(asked) {}
    bool open() override { return false; }
    int messageCount() const override { return -1; }
    bool stableIds(std::vector<std::string>&) override { return false; }
    bool messageSize(int, uint32_t&) override { return false; }
    bool readSubject(int, std::string&) override { return false; }
    AttachmentSave saveAttachments(int, const std::string&, int, ProgressSink*) override {
        return AttachmentSave::Failed;
    }
    AttachmentSave streamAttachment(int, AttachmentOutput&, int, ProgressSink*) override {
        return AttachmentSave::Failed;
    }
    bool markDeleted(int) override { return false; }
    bool close() override { return false; }
    void abandon() override {}
    int store(const StoreMail&, std::string*) override { return -1; }
    uint64_t storeSizeLimit() override {
        ++*asked_;
        return limit_;
    }

  private:
    uint64_t limit_;
    int* asked_;
};

TEST(PieceSize, UsersSizeThenAnnouncedLimitThenProviderTable) {
    AppHome home;
    int asked = 0;
    uint64_t limit = 2u << 20;
    const MailboxFactory previous = setMailboxFactory(
        [&](const MailboxAccount&) { return std::make_unique<LimitMailbox>(limit, &asked); });
    forgetStoreSizeLimits();
    MailboxAccount service;
    service.smtpHost = "smtp.example.org";
    EXPECT_EQ(pieceSizeForAccount(service), kOtherPieceSize);
    EXPECT_EQ(asked, 0);  // service accounts never ask

    MailboxAccount direct = service;
    direct.direct = true;
    direct.loginAddress = "me@example.org";
    EXPECT_EQ(pieceSizeForAccount(direct), pieceSizeUnderLimit(limit));
    EXPECT_EQ(pieceSizeForAccount(direct), pieceSizeUnderLimit(limit));
    EXPECT_EQ(asked, 1);  // asked once per process

    direct.pieceSize = 123456;
    EXPECT_EQ(pieceSizeForAccount(direct), 123456);

    direct.pieceSize = 0;
    direct.loginAddress = "other@example.org";
    limit = 0;  // the server says nothing
    EXPECT_EQ(pieceSizeForAccount(direct), kOtherPieceSize);
    setMailboxFactory(previous);
    forgetStoreSizeLimits();
}

}  // namespace
}  // namespace parvola::test
