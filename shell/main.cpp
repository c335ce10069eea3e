// The desktop client: start-up in its fixed order, then the event loop.
#include <QApplication>
#include <memory>

#include "app/ini_settings.h"
#include "app/process_state.h"
#include "platform/notice_box.h"
#include "presentation/view_texts.h"
#include "shell/icons.h"
#include "shell/main_frame.h"
#include "shell/qt_notice_box.h"
#include "shell/shell_context.h"
#include "shell/shell_engine.h"
#include "shell/single_instance.h"
#include "shell/stock_texts.h"

int main(int argc, char** argv) {
    using namespace parvola;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(ui::kAppName));
    QApplication::setWindowIcon(ui::applicationIcon());

    // A second start brings the running client forward instead of logging
    // the same store in a second time.
    ui::SingleInstance instance(ui::instanceKey());
    if (!instance.isPrimary())
        return instance.askRunningToShow() ? 0 : 1;
    ui::installStockTexts(app);
    // The window goes to the tray on close; only the exit sequence ends the run.
    QApplication::setQuitOnLastWindowClosed(false);

    processValues().filesDownloaded = false;
    setShutdownWhenDone(false);
    ui::setCurrentDownloadFolder({});
    clearLoggedInAccounts();
    installNoticeBox(std::make_shared<ui::QtNoticeBox>());
    installRealEngineHooks();

    auto* frame = new ui::CMainFrame;
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->setWindowTitle(QString::fromUtf8(ui::kAppTitle));
    QObject::connect(&instance, &ui::SingleInstance::showRequested, frame,
                     &ui::CMainFrame::showFromTray);
    frame->showNormal();
    frame->repaint();
    frame->openLoginDialog(true);
    return app.exec();
}
