#pragma once
// The one-button modal box through which every message and question reaches
// the user. Lower layers never show anything; the command or worker that owns
// an action shows its message through the box installed for the process: the
// desktop client installs a Qt box, the command line a console box, tests a
// recording box.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace parvola {

enum class NoticeAnswer { Ok, Cancel };

class NoticeBox {
  public:
    virtual ~NoticeBox() = default;
    // Shows `text` and waits for the answer (closing the box answers Cancel).
    virtual NoticeAnswer show(const std::string& text) = 0;
    // Asks a question: a box that can offer a second button offers Cancel
    // beside OK, so declining is a choice and not only the close box. Cancel,
    // Escape and the close box all decline. Boxes without buttons answer as
    // they answer show().
    virtual NoticeAnswer ask(const std::string& text) { return show(text); }
};

// The process's box; a console box until another is installed.
NoticeBox& noticeBox();
// Installs `box` for the process and returns the previous one.
std::shared_ptr<NoticeBox> installNoticeBox(std::shared_ptr<NoticeBox> box);
// Shorthand for noticeBox().show(text).
NoticeAnswer showNotice(const std::string& text);
// Shorthand for noticeBox().ask(text): every question goes through here.
NoticeAnswer askQuestion(const std::string& text);

// A message may carry details for those who want them (which server, which
// step, what the system said): they follow the text after this mark. The
// desktop box shows them behind a "详细信息" button, the console prints them.
inline constexpr const char* kNoticeDetailsMark = "\n\n详细信息:\n";
// `text` with `details` after the mark (just `text` when there are none).
std::string withNoticeDetails(const std::string& text, const std::string& details);
// The text before the mark, and the details after it (empty without a mark).
void splitNoticeDetails(const std::string& message, std::string& text, std::string& details);

// Prints the message to standard error; answers as configured (OK by default).
class ConsoleNoticeBox : public NoticeBox {
  public:
    explicit ConsoleNoticeBox(NoticeAnswer answer = NoticeAnswer::Ok) : answer_(answer) {}
    NoticeAnswer show(const std::string& text) override;

  private:
    NoticeAnswer answer_;
};

// Records every message, questions among them, and which of them were asked
// as questions; answers as configured. Safe to use from several threads.
class RecordingNoticeBox : public NoticeBox {
  public:
    explicit RecordingNoticeBox(NoticeAnswer answer = NoticeAnswer::Ok) : answer_(answer) {}
    NoticeAnswer show(const std::string& text) override;
    NoticeAnswer ask(const std::string& text) override;
    std::vector<std::string> messages() const;
    std::vector<std::string> questions() const;
    void setAnswer(NoticeAnswer answer);

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
    std::vector<std::string> questions_;
    NoticeAnswer answer_;
};

// Installs a recording box for the lifetime of the object (tests).
class ScopedRecordingNoticeBox {
  public:
    explicit ScopedRecordingNoticeBox(NoticeAnswer answer = NoticeAnswer::Ok);
    ~ScopedRecordingNoticeBox();
    RecordingNoticeBox& box() { return *box_; }
    std::vector<std::string> messages() const { return box_->messages(); }
    std::vector<std::string> questions() const { return box_->questions(); }

  private:
    std::shared_ptr<RecordingNoticeBox> box_;
    std::shared_ptr<NoticeBox> previous_;
};

}  // namespace parvola
