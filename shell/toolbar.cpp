#include "shell/toolbar.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QResizeEvent>

#include "app/process_state.h"
#include "app/site_pages.h"
#include "catalog/catalog.h"
#include "platform/named_lock.h"
#include "platform/notice_box.h"
#include "platform/worker_threads.h"
#include "presentation/view_texts.h"
#include "shell/file_list.h"
#include "shell/icons.h"
#include "shell/main_frame.h"
#include "shell/my_tree.h"
#include "shell/shell_context.h"
#include "transfer/pause_state.h"

namespace parvola::ui {

namespace {

QNetworkAccessManager& network() {
    static QNetworkAccessManager* manager = new QNetworkAccessManager(qApp);
    return *manager;
}

constexpr int kButtonWidth = 62;
constexpr int kButtonHeight = 58;

}  // namespace

void loadPage(QTextBrowser* browser, const std::string& url) {
    if (url.empty())
        return;
    QPointer<QTextBrowser> target(browser);
    QNetworkReply* reply = network().get(QNetworkRequest(QUrl(QString::fromStdString(url))));
    QObject::connect(reply, &QNetworkReply::finished, [reply, target, url] {
        reply->deleteLater();
        if (!target || reply->error() != QNetworkReply::NoError)
            return;
        target->setSearchPaths({});
        target->setHtml(QString::fromUtf8(reply->readAll()));
    });
    browser->setOpenLinks(false);
    QObject::connect(browser, &QTextBrowser::anchorClicked, browser,
                     [](const QUrl& link) { openWithDesktop(link.toString().toStdString()); });
}

CToolbar::CToolbar(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, skin::frameBackground());
    setPalette(palette);
    const char* labels[8] = {kButtonStore,    kButtonRead,  kButtonDelete, kButtonRecover,
                             kButtonSettings, kButtonShare, kButtonLogin,  kButtonPause};
    for (int i = 0; i < 8; ++i) {
        auto* button = new SkinButton(QString::fromUtf8(labels[i]), this);
        button->setImages(toolbarImage(i, false), toolbarImage(i, true));
        button->setTooltipText(QString::fromUtf8(labels[i]));
        button->setGeometry(6 + i * (kButtonWidth + 4), 8, kButtonWidth, kButtonHeight);
        buttons_[i] = button;
    }
    buttons_[5]->setLink(sitePages().groupLogin);
    connect(buttons_[0], &QPushButton::clicked, this, &CToolbar::storeCommand);
    connect(buttons_[1], &QPushButton::clicked, this, &CToolbar::readCommand);
    connect(buttons_[2], &QPushButton::clicked, this, &CToolbar::deleteCommand);
    connect(buttons_[3], &QPushButton::clicked, this, &CToolbar::recoverCommand);
    connect(buttons_[4], &QPushButton::clicked, this, &CToolbar::settingsCommand);
    connect(buttons_[5], &QPushButton::clicked, this, &CToolbar::shareCommand);
    connect(buttons_[6], &QPushButton::clicked, this, &CToolbar::loginCommand);
    connect(buttons_[7], &QPushButton::clicked, this, &CToolbar::pauseCommand);
    browser_ = new QTextBrowser(this);
    browser_->setFrameShape(QFrame::NoFrame);
    browser_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    loadPage(browser_, sitePages().information);
}

void CToolbar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int buttonsEnd = 6 + 8 * (kButtonWidth + 4);
    const int width = std::max(0, std::min(static_cast<int>(event->size().width() * browserRatio_),
                                           event->size().width() - buttonsEnd));
    browser_->setGeometry(event->size().width() - width, 0, width, event->size().height());
}

void CToolbar::storeCommand() {
    auto* tree = panes().tree;
    if (!tree || tree->currentAccount().empty() || tree->isRecycleSelected())
        return;
    Catalog catalog(tree->currentAccount());
    if (!catalog.belowQuota()) {
        showNotice(kNoSpaceLeft);
        return;
    }
    if (auto* frame = panes().frame)
        frame->openStoreDialog();
}

void CToolbar::readCommand() {
    auto* tree = panes().tree;
    if (tree && !tree->currentAccount().empty() && !tree->isRecycleSelected() && panes().fileList)
        panes().fileList->downloadCommand();
}

void CToolbar::deleteCommand() {
    auto* tree = panes().tree;
    if (tree && !tree->currentAccount().empty() && panes().fileList)
        panes().fileList->deleteCommand();
}

void CToolbar::recoverCommand() {
    if (panes().fileList)
        panes().fileList->recoverCommand();
}

void CToolbar::settingsCommand() {
    if (auto* frame = panes().frame)
        frame->openSettingsDialog();
}

void CToolbar::shareCommand() {
    // The post waits for the web service: keep it off the user-interface thread.
    startWorker([address = currentAccount()] { postShareLogin(address); });
}

void CToolbar::loginCommand() {
    if (auto* frame = panes().frame)
        frame->openLoginDialog(false);
}

void CToolbar::pauseCommand() {
    // The label and the image say what a click does next.
    if (transferState() == kTransfersPaused) {
        resumeTransfers();
        buttons_[7]->setText(QString::fromUtf8(kButtonPause));
        buttons_[7]->setImages(toolbarImage(7, false), toolbarImage(7, true));
    } else {
        pauseTransfers();
        buttons_[7]->setText(QString::fromUtf8(kButtonResume));
        buttons_[7]->setImages(toolbarImage(kResumeImage, false), toolbarImage(kResumeImage, true));
    }
}

CHtmlForm::CHtmlForm(QWidget* parent) : QTextBrowser(parent) {
    loadPage(this, sitePages().advert);
}

}  // namespace parvola::ui
