#pragma once
// The client's one top-level window: drawn caption, menu bar, five panes in
// nested splitters, status bar, and the tray icon it lives on in when hidden.
#include <QMainWindow>
#include <QPointer>

class QAction;
class QLabel;
class QSplitter;
class QSystemTrayIcon;
class QTimer;

namespace parvola::ui {

class SkinCaption;
class CMyTree;
class CFileList;
class CTaskList;
class CToolbar;
class CHtmlForm;

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    CMainFrame();
    ~CMainFrame() override;

    // The status bar's first pane.
    void setSpaceText(const QString& text);
    QString spaceText() const;
    // A transfer finished: said in the status bar beside the space line for
    // a while, and on the desktop when the window is not the active one.
    void announceFinished(const QString& text);
    QString finishedText() const;
    // The tray's balloon; false where there is no tray.
    bool showTrayMessage(const QString& title, const QString& text);
    // Greys or enables "上传" and "下载" after the tree's selection.
    void updateCommandStates();
    QAction* uploadAction() const { return upload_; }
    QAction* downloadAction() const { return download_; }
    QAction* exitAction() const { return exit_; }
    QAction* encryptStoreAction() const { return encryptStore_; }
    QAction* changePassphraseAction() const { return changePassphrase_; }
    SkinCaption* caption() const { return caption_; }
    QSplitter* splitter(char name) const;
    bool hasTray() const;

    // The caption's close button, the menu's "退出(&X)": hide into the tray,
    // or, where the desktop has none, the exit sequence (with its question).
    void closeRequest();
    // Brings the window back in its previous size (tray double-click).
    void showFromTray();
    // Ends the window for good (exit sequence, declined login).
    void destroyForExit();

    void openLoginDialog(bool atStartUp);
    void openStoreDialog();
    void openDownloadDialog();
    void openSettingsDialog();
    void openAboutDialog();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void buildMenu(QWidget* top);
    void buildPanes();
    void buildStatusBar();
    void buildTray();

    SkinCaption* caption_ = nullptr;
    QSplitter* splitA_ = nullptr;
    QSplitter* splitB_ = nullptr;
    QSplitter* splitC_ = nullptr;
    QSplitter* splitD_ = nullptr;
    QLabel* firstPane_ = nullptr;
    QLabel* finishedPane_ = nullptr;
    QTimer* finishedShown_ = nullptr;
    QAction* upload_ = nullptr;
    QAction* download_ = nullptr;
    QAction* exit_ = nullptr;
    QAction* encryptStore_ = nullptr;
    QAction* changePassphrase_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    bool exiting_ = false;
};

}  // namespace parvola::ui
