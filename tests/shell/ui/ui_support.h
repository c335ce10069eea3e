#pragma once
// What the desktop client's tests share: a fresh application directory whose
// deploy.ini points the web pages nowhere (or at a test service), a recording
// notice box, a recorder for shell "open", and a main frame built the way the
// program builds it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "catalog/catalog.h"
#include "platform/notice_box.h"
#include "platform/system_hooks.h"
#include "platform/worker_threads.h"
#include "shell/main_frame.h"
#include "shell/my_tree.h"
#include "shell/shell_context.h"
#include "shell/shell_engine.h"
#include "tests/support/temp_dir.h"
#include "transfer/task_list.h"

namespace parvola::test {

// Waits, serving the event loop, until `condition` holds (at most `ms`).
inline bool waitFor(const std::function<bool()>& condition, int ms = 10000) {
    return QTest::qWaitFor(condition, ms);
}

class ShellOpenRecorder {
  public:
    ShellOpenRecorder() {
        setShellOpenRoutine([this](const std::string& target) {
            std::lock_guard lock(mutex_);
            targets_.push_back(target);
            return answer_;
        });
    }
    ~ShellOpenRecorder() { setShellOpenRoutine({}); }
    std::vector<std::string> targets() const {
        std::lock_guard lock(mutex_);
        return targets_;
    }
    void setAnswer(bool answer) { answer_ = answer; }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> targets_;
    bool answer_ = true;
};

// A test of the windows: fresh home, recorders, the real engine table, an
// empty task list and account list; builds the frame on demand.
class UiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The web pages and notifications go to a port where nothing listens.
        writeFile(home_.path() / "deploy.ini",
                  "[site]\nbase=http://127.0.0.1:9\ngroup=http://127.0.0.1:9\n");
        setShutdownRoutine([] { return false; });
        clearLoggedInAccounts();
        taskList().clear();
        processValues().filesDownloaded = false;
        shellEngine() = realShellEngine();
        ui::setTemporaryOpenFolder((home_.path() / "open").string());
    }
    void TearDown() override {
        // Workers a test started (a link opened, a post) must not outlive the
        // recorders and the folders they use; serve events while they finish.
        waitFor([] { return runningWorkers() == 0; }, 30000);
        delete frame_.data();
        QApplication::processEvents();
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isWindow())
                widget->deleteLater();
        QApplication::processEvents();
        taskList().clear();
        clearLoggedInAccounts();
        setShutdownRoutine({});
        shellEngine() = realShellEngine();
    }
    ui::CMainFrame& frame() {
        if (!frame_) {
            frame_ = new ui::CMainFrame;
            frame_->show();
        }
        return *frame_;
    }
    std::vector<std::string> messages() const { return notices_.messages(); }

    // An account as a login leaves it, without the web service and the mail
    // server: logged in, with a new catalog, shown in the tree.
    std::string addOfflineAccount(const std::string& address = "demo@parvola.test") {
        MailboxAccount account(address, "pw");
        account.loginAddress = address;
        account.mailboxAddress = address;
        addLoggedInAccount(account);
        Catalog catalog(address);
        catalog.createNew(address);
        frame();
        ui::panes().tree->addAccountNode(catalog);
        return address;
    }
    // Selects the node of `path` under `account` as a click does.
    void select(const std::string& account, const std::string& path) {
        auto* node = ui::panes().tree->findNode(account, path);
        ASSERT_NE(node, nullptr) << path;
        // Through the root, so that selecting the same node again lists it afresh.
        ui::panes().tree->setCurrentItem(ui::panes().tree->rootNode());
        ui::panes().tree->setCurrentItem(node);
    }

    AppHome home_;
    ScopedRecordingNoticeBox notices_;
    ShellOpenRecorder opened_;
    QPointer<ui::CMainFrame> frame_;
};

}  // namespace parvola::test
