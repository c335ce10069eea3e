#pragma once
// "存储口令": the passphrase of an encrypted store, typed without echo. For a
// store that exists, one field; for a new passphrase, the same one twice. "记住
// 口令" keeps it in the desktop keyring (never in a file). A complaint from the
// try before (a wrong passphrase) stands above the fields.
#include <optional>
#include <string>

#include "shell/skin.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace parvola::ui {

class PassphraseDialog : public SkinDialog {
    Q_OBJECT
  public:
    enum class Kind { Existing, New, Replacement };
    PassphraseDialog(Kind kind, const std::string& address, const std::string& complaint,
                     QWidget* parent = nullptr);
    QLineEdit* passphraseField() const { return passphrase_; }
    // Null for an existing store's passphrase.
    QLineEdit* againField() const { return again_; }
    QCheckBox* rememberBox() const { return remember_; }
    QLabel* complaintLabel() const { return complaint_; }
    const std::string& passphrase() const { return accepted_; }

  public slots:
    void submit();

  private:
    QLineEdit* passphrase_;
    QLineEdit* again_ = nullptr;
    QCheckBox* remember_;
    QLabel* complaint_;
    std::string accepted_;
};

struct PassphraseReply {
    std::string passphrase;
    bool remember = false;
};
// Shows the dialog and waits for it (the caller's work needs the answer);
// nullopt when the user cancelled.
std::optional<PassphraseReply> askPassphrase(PassphraseDialog::Kind kind,
                                             const std::string& address,
                                             const std::string& complaint = {});

}  // namespace parvola::ui
