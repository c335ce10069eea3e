#include "shell/qt_notice_box.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <future>
#include <memory>

#include "presentation/view_texts.h"
#include "shell/ui_thread.h"

namespace parvola::ui {

NoticeDialog::NoticeDialog(const QString& text, QWidget* parent, Kind kind)
    : SkinDialog(QString::fromUtf8(kAppName), parent), text_(text) {
    std::string shown, details;
    splitNoticeDetails(text.toStdString(), shown, details);
    auto* label = skinLabel(QString::fromStdString(shown), this);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setMinimumWidth(260);
    body()->addWidget(label);
    auto* row = new QHBoxLayout;
    ok_ = new SkinButton(QString::fromUtf8(kNoticeOk), this);
    ok_->setMinimumWidth(90);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    row->addStretch();
    row->addWidget(ok_);
    if (kind == Kind::Question) {
        cancel_ = new SkinButton(QString::fromUtf8(kNoticeCancel), this);
        cancel_->setMinimumWidth(90);
        connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
        row->addWidget(cancel_);
    }
    row->addStretch();
    body()->addLayout(row);
    if (!details.empty())
        addDetails(QString::fromStdString(details));
    ok_->setFocus();
}

void NoticeDialog::addDetails(const QString& details) {
    details_ = new SkinButton(QString::fromUtf8(kNoticeDetails), this);
    details_->setCheckable(true);
    detailsText_ = new QPlainTextEdit(details, this);
    detailsText_->setReadOnly(true);
    detailsText_->setMinimumHeight(80);
    detailsText_->hide();
    auto* row = new QHBoxLayout;
    row->addWidget(details_);
    row->addStretch();
    body()->addLayout(row);
    body()->addWidget(detailsText_);
    connect(details_, &QPushButton::toggled, this, [this](bool open) {
        detailsText_->setVisible(open);
        adjustSize();
    });
}

namespace {

QWidget* ownerWindow() {
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner)
        owner = QApplication::activeWindow();
    return owner;
}

}  // namespace

NoticeAnswer QtNoticeBox::show(const std::string& text) {
    return open(text, NoticeDialog::Kind::Message);
}

NoticeAnswer QtNoticeBox::ask(const std::string& text) {
    return open(text, NoticeDialog::Kind::Question);
}

NoticeAnswer QtNoticeBox::open(const std::string& text, NoticeDialog::Kind kind) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app)
        return NoticeAnswer::Cancel;
    const QString message = QString::fromStdString(text);
    if (onUiThread()) {
        NoticeDialog dialog(message, ownerWindow(), kind);
        return dialog.exec() == QDialog::Accepted ? NoticeAnswer::Ok : NoticeAnswer::Cancel;
    }
    // A worker: open the box on the user-interface thread and wait for the answer.
    auto answer = std::make_shared<std::promise<NoticeAnswer>>();
    auto result = answer->get_future();
    postToUi(app, [message, answer, kind] {
        auto* dialog = new NoticeDialog(message, ownerWindow(), kind);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        auto answered = std::make_shared<bool>(false);
        QObject::connect(dialog, &QDialog::finished, [answer, answered](int code) {
            if (!*answered) {
                *answered = true;
                answer->set_value(code == QDialog::Accepted ? NoticeAnswer::Ok
                                                            : NoticeAnswer::Cancel);
            }
        });
        QObject::connect(dialog, &QObject::destroyed, [answer, answered] {
            if (!*answered) {
                *answered = true;
                answer->set_value(NoticeAnswer::Cancel);
            }
        });
        dialog->showModal();
    });
    try {
        return result.get();
    } catch (const std::future_error&) {
        return NoticeAnswer::Cancel;  // the application ended before the box could show
    }
}

}  // namespace parvola::ui
