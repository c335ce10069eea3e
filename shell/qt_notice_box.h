#pragma once
// The notice box on the desktop: one centred text and the one button
// "确    定"; a question has "取    消" beside it, and a message with details
// a "详细信息" button that shows them. Closing the box (its close
// button, Escape) answers Cancel. Shown from the user-interface thread it
// waits in a local event loop; shown from a worker it is opened on the
// user-interface thread and the worker waits until the user answers.
#include <QString>

class QPlainTextEdit;

#include "platform/notice_box.h"
#include "shell/skin.h"

namespace parvola::ui {

class NoticeDialog : public SkinDialog {
    Q_OBJECT
  public:
    enum class Kind { Message, Question };
    explicit NoticeDialog(const QString& text, QWidget* parent = nullptr,
                          Kind kind = Kind::Message);
    // The whole message as given, details included.
    QString text() const { return text_; }
    SkinButton* okButton() const { return ok_; }
    SkinButton* cancelButton() const { return cancel_; }    // null for a message
    SkinButton* detailsButton() const { return details_; }  // null without details
    QPlainTextEdit* detailsField() const { return detailsText_; }

  private:
    void addDetails(const QString& details);
    QString text_;
    SkinButton* ok_ = nullptr;
    SkinButton* cancel_ = nullptr;
    SkinButton* details_ = nullptr;
    QPlainTextEdit* detailsText_ = nullptr;
};

class QtNoticeBox : public NoticeBox {
  public:
    NoticeAnswer show(const std::string& text) override;
    NoticeAnswer ask(const std::string& text) override;

  private:
    NoticeAnswer open(const std::string& text, NoticeDialog::Kind kind);
};

}  // namespace parvola::ui
