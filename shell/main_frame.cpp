#include "shell/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "presentation/view_rules.h"
#include "presentation/view_texts.h"
#include "shell/dialogs.h"
#include "shell/file_list.h"
#include "shell/icons.h"
#include "shell/my_tree.h"
#include "shell/shell_context.h"
#include "shell/skin.h"
#include "shell/store_encryption.h"
#include "shell/task_list_view.h"
#include "shell/toolbar.h"

namespace parvola::ui {

namespace {
// How long a finished transfer's words stay in the status bar.
constexpr int kFinishedMessageMs = 10000;
constexpr QSize kMinimumSize(760, 460);
// How far from the window's edge a press resizes instead of dragging.
constexpr int kResizeMargin = skin::kFrameThickness + 2;
}  // namespace

CMainFrame::CMainFrame() {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle(QString::fromUtf8(kAppName));
    setWindowIcon(applicationIcon());
    setGeometry(150, 100, 1034, 592);
    // Smaller than it opens, for small screens and tiled desktops: the
    // toolbar's buttons and the lists still fit.
    setMinimumSize(kMinimumSize);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, skin::frameBackground());
    setPalette(palette);
    const int fx = skin::kFrameThickness;
    setContentsMargins(fx, 0, fx, fx);

    auto* top = new QWidget(this);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(0);
    caption_ = new SkinCaption(this, true);
    caption_->setTitle(windowTitle());
    connect(caption_, &SkinCaption::closeRequested, this, &CMainFrame::closeRequest);
    connect(this, &QWidget::windowTitleChanged, caption_, &SkinCaption::setTitle);
    topLayout->addWidget(caption_);
    buildMenu(top);
    setMenuWidget(top);
    buildPanes();
    buildStatusBar();
    buildTray();
    panes().frame = this;
    updateCommandStates();
}

CMainFrame::~CMainFrame() {
    if (panes().frame == this)
        panes() = ShellPanes{};
}

void CMainFrame::buildMenu(QWidget* top) {
    auto* bar = new QMenuBar(top);
    bar->setNativeMenuBar(false);
    QMenu* account = bar->addMenu(QString::fromUtf8(kMenuAccount));
    account->addAction(QString::fromUtf8(kMenuLogin), this, [this] { openLoginDialog(false); });
    // For the account selected in the tree.
    encryptStore_ = account->addAction(QString::fromUtf8(kMenuEncryptStore), this, [] {
        encryptStoreLater(panes().tree ? panes().tree->currentAccount() : std::string());
    });
    changePassphrase_ = account->addAction(QString::fromUtf8(kMenuChangePassphrase), this, [] {
        changeStorePassphrase(panes().tree ? panes().tree->currentAccount() : std::string());
    });
    // With a tray the window goes there; without one the menu's exit ends
    // the program through the exit sequence.
    exit_ = account->addAction(QString::fromUtf8(kMenuExit), this, &CMainFrame::closeRequest);
    QMenu* store = bar->addMenu(QString::fromUtf8(kMenuStore));
    upload_ = store->addAction(QString::fromUtf8(kMenuUpload), this, &CMainFrame::openStoreDialog);
    QMenu* read = bar->addMenu(QString::fromUtf8(kMenuRead));
    download_ =
        read->addAction(QString::fromUtf8(kMenuDownload), this, &CMainFrame::openDownloadDialog);
    bar->addAction(QString::fromUtf8(kMenuSettings), this, &CMainFrame::openSettingsDialog);
    QMenu* help = bar->addMenu(QString::fromUtf8(kMenuHelp));
    help->addAction(QString::fromUtf8(kMenuAbout), this, &CMainFrame::openAboutDialog);
    connect(store, &QMenu::aboutToShow, this, &CMainFrame::updateCommandStates);
    connect(read, &QMenu::aboutToShow, this, &CMainFrame::updateCommandStates);
    top->layout()->addWidget(bar);
}

void CMainFrame::buildPanes() {
    auto* tree = new CMyTree;
    auto* fileList = new CFileList;
    auto* tasks = new CTaskList;
    auto* toolbar = new CToolbar;
    auto* notice = new CHtmlForm;
    panes().tree = tree;
    panes().fileList = fileList;
    panes().taskList = tasks;
    connect(tasks, &CTaskList::finished, this, &CMainFrame::announceFinished);
    panes().toolbar = toolbar;
    panes().notice = notice;

    splitD_ = new QSplitter(Qt::Vertical);
    splitD_->addWidget(fileList);
    splitD_->addWidget(tasks);
    splitD_->setSizes({255, 120});
    splitC_ = new QSplitter(Qt::Vertical);
    splitC_->addWidget(toolbar);
    splitC_->addWidget(splitD_);
    splitC_->setSizes({74, 375});
    splitC_->setStretchFactor(1, 1);
    splitB_ = new QSplitter(Qt::Horizontal);
    splitB_->addWidget(tree);
    splitB_->addWidget(splitC_);
    splitB_->setSizes({200, 826});
    splitB_->setStretchFactor(1, 1);
    splitA_ = new QSplitter(Qt::Vertical, this);
    splitA_->addWidget(splitB_);
    splitA_->addWidget(notice);
    splitA_->setSizes({400, 100});
    splitA_->setStretchFactor(0, 1);
    setCentralWidget(splitA_);
    // Tab goes from the tree to the lists, then along the toolbar; the web
    // pages are read, not worked, and take focus only from a click.
    setTabOrder(tree, fileList);
    setTabOrder(fileList, tasks);
    QWidget* previous = tasks;
    for (int i = 0; i < 8; ++i) {
        setTabOrder(previous, toolbar->button(i));
        previous = toolbar->button(i);
    }
    toolbar->browser()->setFocusPolicy(Qt::ClickFocus);
    notice->setFocusPolicy(Qt::ClickFocus);
}

QSplitter* CMainFrame::splitter(char name) const {
    switch (name) {
        case 'A':
            return splitA_;
        case 'B':
            return splitB_;
        case 'C':
            return splitC_;
        default:
            return splitD_;
    }
}

void CMainFrame::buildStatusBar() {
    firstPane_ = new QLabel(QString::fromUtf8(kIdleText));
    statusBar()->addWidget(firstPane_);
    finishedPane_ = new QLabel;
    statusBar()->addWidget(finishedPane_, 1);
    finishedShown_ = new QTimer(this);
    finishedShown_->setSingleShot(true);
    finishedShown_->setInterval(kFinishedMessageMs);
    connect(finishedShown_, &QTimer::timeout, finishedPane_, &QLabel::clear);
    // Lock-key states cannot be read portably here: the indicators stay in
    // their place, greyed.
    for (const char* indicator : kKeyIndicators) {
        auto* label = new QLabel(QString::fromUtf8(indicator));
        label->setEnabled(false);
        label->setFrameShape(QFrame::StyledPanel);
        statusBar()->addPermanentWidget(label);
    }
}

void CMainFrame::buildTray() {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    tray_ = new QSystemTrayIcon(applicationIcon(), this);
    tray_->setToolTip(QString::fromUtf8(kAppName));
    auto* menu = new QMenu(this);
    menu->addAction(QString::fromUtf8(kTrayExit), this, [] { runDesktopExit(); });
    tray_->setContextMenu(menu);
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::DoubleClick)
                    showFromTray();
            });
    tray_->show();
}

void CMainFrame::setSpaceText(const QString& text) {
    firstPane_->setText(text);
}
QString CMainFrame::spaceText() const {
    return firstPane_->text();
}

QString CMainFrame::finishedText() const {
    return finishedPane_->text();
}

void CMainFrame::announceFinished(const QString& text) {
    finishedPane_->setText(text);
    finishedShown_->start();
    if (!isActiveWindow() || !isVisible() || isMinimized())
        notifyDesktop(QString::fromUtf8(kAppName), text);
}

bool CMainFrame::showTrayMessage(const QString& title, const QString& text) {
    if (!hasTray() || !QSystemTrayIcon::supportsMessages())
        return false;
    tray_->showMessage(title, text, QSystemTrayIcon::Information, kFinishedMessageMs);
    return true;
}

void CMainFrame::updateCommandStates() {
    const bool enabled = transferMenusEnabled(currentAccount(), currentPath());
    upload_->setEnabled(enabled);
    download_->setEnabled(enabled);
}

bool CMainFrame::hasTray() const {
    return tray_ != nullptr && tray_->isVisible();
}

void CMainFrame::closeRequest() {
    if (hasTray()) {
        hide();
        return;
    }
    // Without a tray a hidden (or, under a window manager without a task
    // bar, minimised) window could not be found again while the program
    // kept running: the close is the exit, with its question.
    runDesktopExit();
}

void CMainFrame::showFromTray() {
    // Back in its previous size: a maximised window stays maximised.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    // A dialog open over the window (the login at start-up) comes along.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

void CMainFrame::destroyForExit() {
    exiting_ = true;
    if (tray_)
        tray_->hide();
    hide();
    deleteLater();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (exiting_) {
        event->accept();
        return;
    }
    // A close from the desktop (keyboard, task bar) goes through the exit
    // sequence, so that running transfers are offered for saving.
    event->ignore();
    QMetaObject::invokeMethod(
        qApp, [] { runDesktopExit(); }, Qt::QueuedConnection);
}

void CMainFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), skin::accent());
    const int fx = skin::kFrameThickness;
    painter.fillRect(rect().adjusted(fx, 0, -fx, -fx), skin::frameBackground());
}

void CMainFrame::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || isMaximized() || !windowHandle())
        return;
    // The drawn frame has no border of the window manager's: a press at an
    // edge resizes, anywhere else on the background it drags.
    const QPoint at = event->position().toPoint();
    Qt::Edges edges;
    if (at.x() < kResizeMargin)
        edges |= Qt::LeftEdge;
    if (at.x() >= width() - kResizeMargin)
        edges |= Qt::RightEdge;
    if (at.y() >= height() - kResizeMargin)
        edges |= Qt::BottomEdge;
    if (edges)
        windowHandle()->startSystemResize(edges);
    else
        windowHandle()->startSystemMove();
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        caption_->update();
}

void CMainFrame::openLoginDialog(bool atStartUp) {
    if (auto* open = openDialog<LoginDialog>()) {
        open->raise();
        return;
    }
    auto* dialog = new LoginDialog(atStartUp, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->showModal();
}

void CMainFrame::openStoreDialog() {
    auto* dialog = new StoreDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->showModal();
}

void CMainFrame::openDownloadDialog() {
    DownloadInputs inputs;
    if (auto* list = panes().fileList) {
        const int row = list->selectedRow();
        if (row >= 0 && row < static_cast<int>(list->rows().size()) &&
            list->rows()[row].type == kFileType) {
            const CatalogRow& chosen = list->rows()[row];
            inputs.storedSubject = chosen.subject;
            inputs.fileName = chosen.name;
            inputs.fileSize = chosen.size;
        }
    }
    inputs.catalogFolder = currentPath();
    auto* dialog = new DownloadDialog(inputs, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->showModal();
}

void CMainFrame::openSettingsDialog() {
    auto* dialog = new SettingsDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->showModal();
}

void CMainFrame::openAboutDialog() {
    auto* dialog = new AboutDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->showModal();
}

}  // namespace parvola::ui
