#pragma once
// The toolbar pane with the eight command buttons and the information page,
// and the notice pane with the advertisement page. The pages come from the
// web service and are shown as simple HTML.
#include <QTextBrowser>
#include <QWidget>
#include <array>
#include <string>

#include "shell/skin.h"

namespace parvola::ui {

// Fetches `url` and shows it in `browser` (nothing on failure).
void loadPage(QTextBrowser* browser, const std::string& url);

class CToolbar : public QWidget {
    Q_OBJECT
  public:
    explicit CToolbar(QWidget* parent = nullptr);
    // Buttons by position: store, read, delete, recover, settings, share,
    // log in, pause/resume.
    SkinButton* button(int index) const { return buttons_[index]; }
    QTextBrowser* browser() const { return browser_; }

    void storeCommand();
    void readCommand();
    void deleteCommand();
    void recoverCommand();
    void settingsCommand();
    void shareCommand();
    void loginCommand();
    // Pauses the transfers, or resumes them when they are paused.
    void pauseCommand();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    std::array<SkinButton*, 8> buttons_{};
    QTextBrowser* browser_;
    // The page's share of the pane's width, recorded at start-up.
    double browserRatio_ = 0.35;
};

class CHtmlForm : public QTextBrowser {
    Q_OBJECT
  public:
    explicit CHtmlForm(QWidget* parent = nullptr);
};

}  // namespace parvola::ui
