#pragma once
// The client's own look: colours, a drawn caption with its caption buttons
// (three on the main window, close alone on dialogs), dialogs with a coloured
// border around a white client area, and flat skinned push buttons with a
// hover state, a tooltip and an optional link.
#include <QColor>
#include <QDialog>
#include <QPushButton>
#include <QRect>
#include <QWidget>
#include <string>

#include <QLabel>
class QVBoxLayout;

namespace parvola::ui {

namespace skin {
inline QColor dialogBorder() {
    return QColor(175, 190, 197);
}
inline QColor dialogClient() {
    return QColor(255, 255, 255);
}
inline QColor labelText() {
    return QColor(0, 103, 99);
}
inline QColor accent() {
    return QColor(0, 100, 255);
}
inline QColor frameBackground() {
    return QColor(236, 237, 239);
}
// Width of the drawn window frame (the system frame thickness of the caption
// button geometry).
inline constexpr int kFrameThickness = 4;
inline constexpr int kCaptionHeight = kFrameThickness + 22;
inline constexpr int kDialogBorder = 5;
}  // namespace skin

enum class CaptionButton { None, Minimise, Maximise, Close };

// The hot rectangles of the caption buttons in window coordinates, measured
// from the right end of a window `width` wide.
QRect captionButtonRect(CaptionButton button, int width);

// The drawn caption strip at the top of a skinned window.
class SkinCaption : public QWidget {
    Q_OBJECT
  public:
    SkinCaption(QWidget* window, bool frameButtons);
    void setTitle(const QString& title);
    CaptionButton hovered() const { return hovered_; }
    CaptionButton buttonAt(const QPoint& windowPos) const;
    // What a press in a caption button does (also reached by tests).
    void pressButton(CaptionButton button);

  signals:
    void closeRequested();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void drawButton(QPainter& painter, CaptionButton button);
    QWidget* window_;
    bool frameButtons_;
    QString title_;
    CaptionButton hovered_ = CaptionButton::None;
};

// A modal dialog with the skin: caption with a close button, a 5-pixel border
// in the border colour, a white client area and labels in the label colour.
class SkinDialog : public QDialog {
    Q_OBJECT
  public:
    SkinDialog(const QString& title, QWidget* parent = nullptr);
    // The layout the dialog's fields go into.
    QVBoxLayout* body() { return body_; }
    SkinCaption* caption() { return caption_; }
    // Dragging by any point of the client area (the login dialog).
    void setDragByClientArea(bool on) { dragByClient_ = on; }
    // Shows the dialog application-modal without blocking the caller.
    void showModal();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    SkinCaption* caption_;
    QVBoxLayout* body_;
    bool dragByClient_ = false;
};

// A label in the skin's label colour, drawn on a transparent background.
QLabel* skinLabel(const QString& text, QWidget* parent = nullptr);

// Flat push button with a drawn image per state, hover light, tooltip, link
// and an optional check-box mode.
class SkinButton : public QPushButton {
    Q_OBJECT
  public:
    explicit SkinButton(const QString& text, QWidget* parent = nullptr);
    void setImages(const QPixmap& normal, const QPixmap& hover);
    const QPixmap& normalImage() const { return normalImage_; }
    void setTextColours(const QColor& normal, const QColor& hover);
    void setTooltipText(const QString& text);
    // At most 260 bytes are kept.
    void setLink(const std::string& link);
    const std::string& link() const { return link_; }
    void setCheckBoxMode(bool on);
    bool isBoxChecked() const { return checkedState_; }
    bool isHovered() const { return hovered_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void onOwnClick();
    QPixmap normalImage_, hoverImage_;
    QColor normalText_, hoverText_;
    std::string link_;
    bool checkBoxMode_ = false;
    bool checkedState_ = false;
    bool hovered_ = false;
};

// Opens a file or page with the desktop's handler on a worker; a failure is
// shown in the notice box.
void openWithDesktop(const std::string& target);

}  // namespace parvola::ui
