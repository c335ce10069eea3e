#include "shell/skin.h"

#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <QWindow>

#include "platform/notice_box.h"
#include "platform/system_hooks.h"
#include "platform/worker_threads.h"
#include "presentation/view_rules.h"
#include "presentation/view_texts.h"

namespace parvola::ui {

QRect captionButtonRect(CaptionButton button, int width) {
    const int fx = skin::kFrameThickness, fy = skin::kFrameThickness;
    int left = 0, right = 0;
    switch (button) {
        case CaptionButton::Minimise:
            left = width - fx - 60, right = width - fx - 42;
            break;
        case CaptionButton::Maximise:
            left = width - fx - 42, right = width - fx - 26;
            break;
        case CaptionButton::Close:
            left = width - fx - 24, right = width - fx - 10;
            break;
        case CaptionButton::None:
            return {};
    }
    return QRect(QPoint(left, fy + 2), QPoint(right - 1, fy + 20 - 1));
}

SkinCaption::SkinCaption(QWidget* window, bool frameButtons)
    : QWidget(window), window_(window), frameButtons_(frameButtons) {
    setFixedHeight(skin::kCaptionHeight);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SkinCaption::setTitle(const QString& title) {
    title_ = title;
    update();
}

CaptionButton SkinCaption::buttonAt(const QPoint& windowPos) const {
    const int w = window_->width();
    if (captionButtonRect(CaptionButton::Close, w).contains(windowPos))
        return CaptionButton::Close;
    if (!frameButtons_)
        return CaptionButton::None;
    if (captionButtonRect(CaptionButton::Minimise, w).contains(windowPos))
        return CaptionButton::Minimise;
    if (captionButtonRect(CaptionButton::Maximise, w).contains(windowPos))
        return CaptionButton::Maximise;
    return CaptionButton::None;
}

void SkinCaption::pressButton(CaptionButton button) {
    switch (button) {
        case CaptionButton::Close:
            emit closeRequested();
            break;
        case CaptionButton::Minimise:
            window_->showMinimized();
            break;
        case CaptionButton::Maximise:
            if (window_->isMaximized())
                window_->showNormal();
            else
                window_->showMaximized();
            update();
            break;
        case CaptionButton::None:
            break;
    }
}

void SkinCaption::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The strip: the accent colour fading into a lighter band, as one tile
    // repeated over the whole width.
    QLinearGradient strip(0, 0, 0, height());
    strip.setColorAt(0, skin::accent().lighter(150));
    strip.setColorAt(0.5, skin::accent());
    strip.setColorAt(1, skin::accent().darker(120));
    painter.fillRect(rect(), strip);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRect(10, 0, width() - 80, height()), Qt::AlignVCenter | Qt::AlignLeft,
                     title_);
    drawButton(painter, CaptionButton::Close);
    if (frameButtons_) {
        drawButton(painter, CaptionButton::Minimise);
        drawButton(painter, CaptionButton::Maximise);
    }
}

void SkinCaption::drawButton(QPainter& painter, CaptionButton button) {
    const QRect box = captionButtonRect(button, window_->width()).translated(-pos());
    const bool hot = hovered_ == button;
    QColor face =
        button == CaptionButton::Close ? QColor(200, 60, 50) : skin::accent().lighter(130);
    if (hot)
        face = face.lighter(130);
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(face);
    painter.drawRoundedRect(box.adjusted(0, 0, -1, -1), 3, 3);
    painter.setPen(QPen(Qt::white, 1.6));
    const QRectF glyph = QRectF(box).adjusted(4, 5, -4, -5);
    switch (button) {
        case CaptionButton::Close:
            painter.drawLine(glyph.topLeft(), glyph.bottomRight());
            painter.drawLine(glyph.topRight(), glyph.bottomLeft());
            break;
        case CaptionButton::Minimise:
            painter.drawLine(QPointF(glyph.left(), glyph.bottom()), glyph.bottomRight());
            break;
        case CaptionButton::Maximise:
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(glyph);
            if (window_->isMaximized())
                painter.drawRect(glyph.adjusted(2, -2, 2, -2));
            break;
        case CaptionButton::None:
            break;
    }
}

void SkinCaption::mouseMoveEvent(QMouseEvent* event) {
    const CaptionButton now = buttonAt(mapTo(window_, event->position().toPoint()));
    if (now != hovered_) {
        hovered_ = now;
        update();
    }
}

void SkinCaption::leaveEvent(QEvent*) {
    if (hovered_ != CaptionButton::None) {
        hovered_ = CaptionButton::None;
        update();
    }
}

void SkinCaption::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const CaptionButton button = buttonAt(mapTo(window_, event->position().toPoint()));
    if (button != CaptionButton::None) {
        pressButton(button);
        return;
    }
    // A maximised window stays where it is.
    if (!window_->isMaximized() && window_->windowHandle())
        window_->windowHandle()->startSystemMove();
}

void SkinCaption::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!frameButtons_ ||
        buttonAt(mapTo(window_, event->position().toPoint())) != CaptionButton::None)
        return;
    pressButton(CaptionButton::Maximise);
}

SkinDialog::SkinDialog(const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(title);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, skin::labelText());
    palette.setColor(QPalette::Window, skin::dialogClient());
    setPalette(palette);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    caption_ = new SkinCaption(this, false);
    caption_->setTitle(title);
    connect(caption_, &SkinCaption::closeRequested, this, &QDialog::reject);
    outer->addWidget(caption_);
    auto* client = new QWidget(this);
    body_ = new QVBoxLayout(client);
    const int inset = skin::kDialogBorder + 8;
    body_->setContentsMargins(inset, inset, inset, inset);
    outer->addWidget(client, 1);
}

void SkinDialog::showModal() {
    setModal(true);
    show();
    raise();
    activateWindow();
}

void SkinDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect client = rect().adjusted(0, caption_->height(), 0, 0);
    painter.fillRect(client, skin::dialogBorder());
    painter.fillRect(client.adjusted(skin::kDialogBorder, skin::kDialogBorder, -skin::kDialogBorder,
                                     -skin::kDialogBorder),
                     skin::dialogClient());
}

void SkinDialog::mousePressEvent(QMouseEvent* event) {
    if (dragByClient_ && event->button() == Qt::LeftButton && windowHandle()) {
        windowHandle()->startSystemMove();
        return;
    }
    QDialog::mousePressEvent(event);
}

QLabel* skinLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAttribute(Qt::WA_TranslucentBackground);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, skin::labelText());
    label->setPalette(palette);
    return label;
}

SkinButton::SkinButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent), normalText_(skin::labelText()), hoverText_(skin::labelText()) {
    setFlat(true);
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    setMinimumHeight(26);
    // Connected first, so the button's own handling runs before the owner's.
    connect(this, &QPushButton::clicked, this, &SkinButton::onOwnClick);
}

void SkinButton::setImages(const QPixmap& normal, const QPixmap& hover) {
    normalImage_ = normal;
    hoverImage_ = hover;
    update();
}

void SkinButton::setTextColours(const QColor& normal, const QColor& hover) {
    normalText_ = normal;
    hoverText_ = hover;
    update();
}

void SkinButton::setTooltipText(const QString& text) {
    setToolTip(text);
}

void SkinButton::setLink(const std::string& link) {
    link_ = clipLink(link);
}

void SkinButton::setCheckBoxMode(bool on) {
    checkBoxMode_ = on;
}

void SkinButton::onOwnClick() {
    setFocus(Qt::MouseFocusReason);
    if (checkBoxMode_) {
        checkedState_ = !checkedState_;
        update();
    } else if (!link_.empty()) {
        openWithDesktop(link_);
    }
}

void SkinButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QPushButton::enterEvent(event);
}

void SkinButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QPushButton::leaveEvent(event);
}

void SkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool lit = hovered_ || isDown() || checkedState_;
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient face(0, 0, 0, height());
    face.setColorAt(0, lit ? QColor(235, 245, 255) : QColor(252, 252, 252));
    face.setColorAt(1, lit ? QColor(190, 215, 245) : QColor(225, 230, 234));
    painter.setPen(lit ? skin::accent() : skin::dialogBorder());
    painter.setBrush(face);
    painter.drawRoundedRect(box, 4, 4);
    const QPixmap& image = lit && !hoverImage_.isNull() ? hoverImage_ : normalImage_;
    QRect textRect = rect();
    if (!image.isNull()) {
        const int top = text().isEmpty() ? (height() - image.height()) / 2 : 4;
        painter.drawPixmap((width() - image.width()) / 2, top, image);
        textRect.setTop(top + image.height());
    }
    painter.setPen(isEnabled() ? (lit ? hoverText_ : normalText_) : QColor(150, 150, 150));
    painter.drawText(textRect, Qt::AlignCenter, text());
    // The keyboard's place must be seen: Tab and Space work on every button.
    if (hasFocus()) {
        painter.setPen(QPen(skin::accent(), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box.adjusted(2, 2, -2, -2), 3, 3);
    }
}

void openWithDesktop(const std::string& target) {
    startWorker([target] {
        if (!shellOpen(target))
            showNotice(std::string(kOpenFailedPrefix) + target);
    });
}

}  // namespace parvola::ui
