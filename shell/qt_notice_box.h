#pragma once
// The notice box on the desktop: one centred text and the one button
// "确    定"; closing the box (its close button, Escape) answers Cancel.
// Shown from the user-interface thread it waits in a local event loop; shown
// from a worker it is opened on the user-interface thread and the worker
// waits until the user answers.
#include <QString>

#include "platform/notice_box.h"
#include "shell/skin.h"

namespace parvola::ui {

class NoticeDialog : public SkinDialog {
    Q_OBJECT
  public:
    explicit NoticeDialog(const QString& text, QWidget* parent = nullptr);
    QString text() const { return text_; }

  private:
    QString text_;
};

class QtNoticeBox : public NoticeBox {
  public:
    NoticeAnswer show(const std::string& text) override;
};

}  // namespace parvola::ui
