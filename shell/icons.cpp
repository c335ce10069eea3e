#include "shell/icons.h"

#include <QPainter>
#include <QPainterPath>

#include "shell/skin.h"

namespace parvola::ui {

namespace {

void drawFolder(QPainter& p, const QColor& body) {
    p.setPen(body.darker(160));
    p.setBrush(body.lighter(115));
    p.drawRect(QRectF(1.5, 3.5, 6, 3));
    p.setBrush(body);
    p.drawRect(QRectF(1.5, 5.5, 13, 9));
}

QPixmap blank(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

}  // namespace

QPixmap nodeIcon(NodeIcon kind) {
    QPixmap pixmap = blank(16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (kind) {
        case NodeIcon::NotLoggedIn:
            p.setPen(QPen(QColor(120, 120, 120), 1.2));
            p.setBrush(QColor(210, 210, 210));
            p.drawEllipse(QRectF(4.5, 1.5, 7, 7));
            p.drawRoundedRect(QRectF(2.5, 9.5, 11, 5.5), 2, 2);
            p.setPen(QPen(QColor(200, 40, 40), 1.6));
            p.drawLine(QPointF(2, 2), QPointF(14, 14));
            break;
        case NodeIcon::Account:
            p.setPen(QPen(skin::accent().darker(130), 1.2));
            p.setBrush(skin::accent().lighter(150));
            p.drawEllipse(QRectF(4.5, 1.5, 7, 7));
            p.setBrush(skin::accent());
            p.drawRoundedRect(QRectF(2.5, 9.5, 11, 5.5), 2, 2);
            break;
        case NodeIcon::Documents:
            drawFolder(p, QColor(240, 200, 80));
            p.setPen(QPen(Qt::white, 1));
            for (int y = 8; y <= 12; y += 2)
                p.drawLine(QPointF(4, y), QPointF(12, y));
            break;
        case NodeIcon::Pictures:
            drawFolder(p, QColor(240, 200, 80));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(60, 150, 60));
            p.drawPolygon(QPolygonF({QPointF(3, 14), QPointF(7, 8), QPointF(10, 14)}));
            p.setBrush(QColor(220, 80, 40));
            p.drawEllipse(QRectF(10, 7, 3, 3));
            break;
        case NodeIcon::Media:
            drawFolder(p, QColor(240, 200, 80));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(90, 60, 170));
            p.drawPolygon(QPolygonF({QPointF(6, 7), QPointF(12, 10), QPointF(6, 13)}));
            break;
        case NodeIcon::Folder:
            drawFolder(p, QColor(240, 200, 80));
            break;
        case NodeIcon::Recycle:
            p.setPen(QPen(QColor(70, 110, 90), 1.2));
            p.setBrush(QColor(150, 200, 170));
            p.drawRect(QRectF(3.5, 4.5, 9, 10));
            p.drawLine(QPointF(2, 3.5), QPointF(14, 3.5));
            p.drawLine(QPointF(6.5, 6.5), QPointF(6.5, 12.5));
            p.drawLine(QPointF(9.5, 6.5), QPointF(9.5, 12.5));
            break;
    }
    return pixmap;
}

QIcon applicationIcon() {
    QPixmap pixmap = blank(32);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(skin::accent());
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(6, 9, 20, 14));
    p.setPen(QPen(skin::accent(), 2));
    p.drawLine(QPointF(6, 9), QPointF(16, 17));
    p.drawLine(QPointF(26, 9), QPointF(16, 17));
    return QIcon(pixmap);
}

QPixmap toolbarImage(int button, bool hover) {
    QPixmap pixmap = blank(28);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = hover ? skin::accent() : skin::labelText();
    p.setPen(QPen(ink, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    switch (button) {
        case 0:  // store: arrow up into a tray
        case 1:  // read: arrow down out of it
            p.drawLine(QPointF(4, 20), QPointF(4, 25));
            p.drawLine(QPointF(4, 25), QPointF(24, 25));
            p.drawLine(QPointF(24, 25), QPointF(24, 20));
            p.drawLine(QPointF(14, 3), QPointF(14, 19));
            if (button == 0) {
                p.drawLine(QPointF(8, 9), QPointF(14, 3));
                p.drawLine(QPointF(20, 9), QPointF(14, 3));
            } else {
                p.drawLine(QPointF(8, 13), QPointF(14, 19));
                p.drawLine(QPointF(20, 13), QPointF(14, 19));
            }
            break;
        case 2:  // delete
            p.drawLine(QPointF(6, 6), QPointF(22, 22));
            p.drawLine(QPointF(22, 6), QPointF(6, 22));
            break;
        case 3:  // recover: a turning arrow
            p.drawArc(QRectF(5, 5, 18, 18), 90 * 16, 270 * 16);
            p.drawLine(QPointF(14, 5), QPointF(19, 2));
            p.drawLine(QPointF(14, 5), QPointF(19, 9));
            break;
        case 4:  // settings: a wheel
            p.drawEllipse(QRectF(8, 8, 12, 12));
            for (int i = 0; i < 8; ++i) {
                p.save();
                p.translate(14, 14);
                p.rotate(i * 45);
                p.drawLine(QPointF(0, 7), QPointF(0, 11));
                p.restore();
            }
            break;
        case 5:  // share: three joined dots
            p.drawLine(QPointF(7, 14), QPointF(21, 6));
            p.drawLine(QPointF(7, 14), QPointF(21, 22));
            p.setBrush(ink);
            p.drawEllipse(QPointF(7, 14), 3, 3);
            p.drawEllipse(QPointF(21, 6), 3, 3);
            p.drawEllipse(QPointF(21, 22), 3, 3);
            break;
        case 6:  // log in: a person
            p.drawEllipse(QRectF(9, 3, 10, 10));
            p.drawArc(QRectF(4, 15, 20, 16), 0, 180 * 16);
            break;
        case kResumeImage:  // resume: the play triangle
            p.drawPolygon(QPolygonF({QPointF(9, 5), QPointF(23, 14), QPointF(9, 23)}));
            break;
        default:  // pause
            p.drawLine(QPointF(10, 6), QPointF(10, 22));
            p.drawLine(QPointF(18, 6), QPointF(18, 22));
            break;
    }
    return pixmap;
}

}  // namespace parvola::ui
