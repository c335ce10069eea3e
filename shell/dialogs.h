#pragma once
// The client's dialogs. Each is application-modal and shown without blocking
// the caller (showModal), so that the user-interface thread keeps serving the
// workers while a dialog is open.
#include <QPointer>
#include <optional>
#include <string>

#include "app/direct_account.h"
#include "app/ini_settings.h"
#include "shell/shell_engine.h"
#include "shell/skin.h"
#include "transfer/transfer_workers.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace parvola {
struct DiscoveryResult;
}

namespace parvola::ui {

class ServerSearch;

// "登录": remembered accounts, password, "记住密码", the "注册" link.
class LoginDialog : public SkinDialog {
    Q_OBJECT
  public:
    // `atStartUp`: closing the dialog before any login ends the program.
    explicit LoginDialog(bool atStartUp, QWidget* parent = nullptr);
    QComboBox* mailboxField() const { return mailbox_; }
    QLineEdit* passwordField() const { return password_; }
    QCheckBox* rememberBox() const { return remember_; }
    SkinButton* registerButton() const { return register_; }
    SkinButton* loginButton() const { return login_; }
    // "使用自己的邮箱" and the fields it shows: the servers (filled from the
    // provider rows of the address's domain, or the remembered account),
    // the store route, the mail folder with its trade-off, and the
    // plain-text allowance, off unless the user checks it.
    QCheckBox* ownMailboxBox() const { return ownMailbox_; }
    QWidget* ownMailboxFields() const { return ownFields_; }
    QLineEdit* readServerField() const { return readServer_; }
    QLineEdit* sendServerField() const { return sendServer_; }
    QComboBox* storeWithField() const { return storeWith_; }
    QLineEdit* mailFolderField() const { return mailFolder_; }
    QCheckBox* allowPlaintextBox() const { return allowPlaintext_; }
    // "加密此存储", with its trade-off under it: a plain store becomes
    // encrypted once logged in (a new passphrase is asked twice); a store
    // that is encrypted already is just opened.
    QCheckBox* encryptBox() const { return encrypt_; }
    // "查找服务器": looks for the servers of the typed address (what the
    // fields hold, else the account's remembered servers, then the provider
    // table, the autoconfiguration, DNS SRV and a confirmed guess) off the
    // user-interface thread; while it runs the button stops it. The line
    // below it shows each step, then where the servers were found.
    SkinButton* findServersButton() const { return findServers_; }
    QLabel* searchStatusLabel() const { return searchStatus_; }
    bool searchRunning() const;
    // A command whose first output line is the password, or an OAuth 2
    // bearer token: run at each login, remembered, its output never kept.
    QLineEdit* passwordCommandField() const { return passwordCommand_; }
    QLineEdit* tokenCommandField() const { return tokenCommand_; }
    // Where a remembered password of the own mailbox goes: the desktop
    // keyring when one answers, else config.ini when "记住密码" is checked,
    // else nowhere (typed at each login).
    QLabel* passwordKeptLabel() const { return passwordKept_; }

    // The dialog's result when it closed after a login attempt that failed.
    static constexpr int kClosedAfterFailure = 2;

  public slots:
    void submit();
    void reject() override;

  private:
    void accountChosen(const QString& account);
    void ownMailboxToggled(bool on);
    // Fills empty server fields from the provider rows of the typed domain.
    void suggestServers();
    void submitDirect(const std::string& mailbox, const std::string& password);
    void finishLogin(const ShellLoginResult& result);
    void showDirectSettings(const DirectAccountSettings& direct);
    void findServersClicked();
    void startServerSearch();
    void serverSearchFinished(const DiscoveryResult& result);
    void showPasswordKept();
    void fitToContents();
    bool keyringAnswersNow();
    IniSettings settings_;
    bool atStartUp_;
    QComboBox* mailbox_;
    QLineEdit* password_;
    QCheckBox* remember_;
    QCheckBox* ownMailbox_;
    QWidget* ownFields_;
    QLineEdit* readServer_;
    QLineEdit* sendServer_;
    QComboBox* storeWith_;
    QLineEdit* mailFolder_;
    QCheckBox* allowPlaintext_;
    QCheckBox* encrypt_;
    SkinButton* findServers_;
    QLabel* searchStatus_;
    QLineEdit* passwordCommand_;
    QLineEdit* tokenCommand_;
    QLabel* passwordKept_;
    ServerSearch* search_;
    // Asked once per dialog, when the own mailbox is first chosen.
    std::optional<bool> keyringAnswers_;
    SkinButton* register_;
    SkinButton* login_;
};

// "下载": the save folder for one file of the list (or, from the menu, for
// the file selected in the list).
class DownloadDialog : public SkinDialog {
    Q_OBJECT
  public:
    explicit DownloadDialog(DownloadInputs inputs, QWidget* parent = nullptr);
    QLineEdit* savePathField() const { return savePath_; }
    const DownloadInputs& inputs() const { return inputs_; }

  public slots:
    void submit();

  private:
    DownloadInputs inputs_;
    QLineEdit* savePath_;
    QLineEdit* fileName_;
};

// "重命名": the new name of a folder, refused when the sibling names hold it.
class RenameDialog : public SkinDialog {
    Q_OBJECT
  public:
    explicit RenameDialog(std::string siblingNames, QWidget* parent = nullptr);
    QLineEdit* nameField() const { return name_; }
    const std::string& newName() const { return newName_; }

  public slots:
    void submit();

  private:
    std::string siblings_;
    std::string newName_;
    QLineEdit* name_;
};

class AboutDialog : public SkinDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

// "系统设置".
class SettingsDialog : public SkinDialog {
    Q_OBJECT
  public:
    explicit SettingsDialog(QWidget* parent = nullptr);
    QCheckBox* autoStartBox() const { return autoStart_; }
    QCheckBox* shutdownBox() const { return shutdown_; }
    QCheckBox* continueBox() const { return continue_; }
    QSpinBox* connectionsBox() const { return connections_; }
    QLineEdit* folderField() const { return folder_; }

  public slots:
    void submit();
    void browse();

  private:
    QCheckBox* autoStart_;
    QCheckBox* shutdown_;
    QCheckBox* continue_;
    QSpinBox* connections_;
    QLineEdit* folder_;
};

// "上传": the local file to store in the folder selected in the tree.
class StoreDialog : public SkinDialog {
    Q_OBJECT
  public:
    explicit StoreDialog(QWidget* parent = nullptr);
    QLineEdit* pathField() const { return path_; }

  public slots:
    void submit();

  private:
    QLineEdit* path_;
};

// The first top-level dialog of type T that is open, or null (tests, the frame).
template <class T>
T* openDialog();

}  // namespace parvola::ui

#include <QApplication>
template <class T>
T* parvola::ui::openDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<T*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}
