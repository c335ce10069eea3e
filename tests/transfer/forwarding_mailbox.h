#pragma once
// The real POP3+SMTP mailbox behind a test's own: every call goes through to
// it, so a test overrides only the calls it watches or changes.
#include <string>
#include <vector>

#include "mail/mailbox.h"
#include "mail/pop3_smtp_mailbox.h"

namespace parvola::test {

class ForwardingMailbox : public Mailbox {
  public:
    explicit ForwardingMailbox(const MailboxAccount& account) : inner_(account) {}

    bool open() override { return inner_.open(); }
    int messageCount() const override { return inner_.messageCount(); }
    bool stableIds(std::vector<std::string>& ids) override { return inner_.stableIds(ids); }
    bool messageSize(int number, uint32_t& size) override {
        return inner_.messageSize(number, size);
    }
    bool readSubject(int number, std::string& subject) override {
        return inner_.readSubject(number, subject);
    }
    AttachmentSave saveAttachments(int number, const std::string& folder, int taskId,
                                   ProgressSink* sink) override {
        return inner_.saveAttachments(number, folder, taskId, sink);
    }
    AttachmentSave streamAttachment(int number, AttachmentOutput& output, int taskId,
                                    ProgressSink* sink) override {
        return inner_.streamAttachment(number, output, taskId, sink);
    }
    bool markDeleted(int number) override { return inner_.markDeleted(number); }
    bool close() override { return inner_.close(); }
    void abandon() override { inner_.abandon(); }
    int store(const StoreMail& mail, std::string* failureReply) override {
        return inner_.store(mail, failureReply);
    }
    uint64_t storeSizeLimit() override { return inner_.storeSizeLimit(); }
    std::string failureText() const override { return inner_.failureText(); }
    MailboxFailure failureKind() const override { return inner_.failureKind(); }

  protected:
    Pop3SmtpMailbox inner_;
};

}  // namespace parvola::test
