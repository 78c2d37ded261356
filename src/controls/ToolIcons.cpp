#include "controls/ToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace {

// Everything is drawn on a 32 x 32 grid and scaled.
constexpr int kGrid = 32;

const QColor kInk(0x30, 0x30, 0x38);

void chip(QPainter& p, const QRectF& r) {
    p.setPen(QPen(kInk, 1.5));
    for (int i = 0; i < 4; ++i) {
        const double x = r.left() + 3 + i * (r.width() - 6) / 3;
        p.drawLine(QPointF(x, r.top() - 3), QPointF(x, r.top()));
        p.drawLine(QPointF(x, r.bottom()), QPointF(x, r.bottom() + 3));
    }
    p.setBrush(QColor(0x40, 0x40, 0x48));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(r, 2, 2);
    p.setPen(QPen(QColor(0xd0, 0xd0, 0xd0), 1));
    p.drawText(r, Qt::AlignCenter, QStringLiteral("EMU"));
}

void arrow(QPainter& p, QPointF from, QPointF to, const QColor& colour) {
    p.setPen(QPen(colour, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from, to);
    const QPointF d = (to - from) / std::hypot(to.x() - from.x(), to.y() - from.y());
    const QPointF n(-d.y(), d.x());
    QPolygonF head;
    head << to + d * 4 << to - d * 4 + n * 6 << to - d * 4 - n * 6;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(head);
}

// The usual curved arrow of undo; mirrored for redo.
void turnArrow(QPainter& p, bool mirrored) {
    if (mirrored) {
        p.translate(kGrid, 0);
        p.scale(-1, 1);
    }
    const QColor blue(0x20, 0x60, 0xb0);
    p.setPen(QPen(blue, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath path(QPointF(9, 13));
    path.cubicTo(QPointF(16, 7), QPointF(28, 9), QPointF(27, 18));
    path.cubicTo(QPointF(26, 25), QPointF(20, 27), QPointF(15, 27));
    p.drawPath(path);
    QPolygonF head;
    head << QPointF(3, 14) << QPointF(13, 6) << QPointF(13, 19);
    p.setPen(Qt::NoPen);
    p.setBrush(blue);
    p.drawPolygon(head);
}

void paint(QPainter& p, ToolIcon kind) {
    switch (kind) {
    case ToolIcon::Open: {
        p.setPen(QPen(QColor(0x9a, 0x6a, 0x00), 1.5));
        p.setBrush(QColor(0xf0, 0xc0, 0x40));
        p.drawRoundedRect(QRectF(3, 8, 26, 19), 2, 2);
        QPolygonF flap;
        flap << QPointF(3, 10) << QPointF(3, 6) << QPointF(12, 6) << QPointF(14, 9);
        p.drawPolygon(flap);
        p.setBrush(QColor(0xff, 0xdc, 0x70));
        QPolygonF front;
        front << QPointF(6, 14) << QPointF(31, 14) << QPointF(28, 27) << QPointF(3, 27);
        p.drawPolygon(front);
        break;
    }
    case ToolIcon::CloseAll: {
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(6, 3, 18, 24));
        p.setPen(QPen(QColor(0x90, 0x90, 0x98), 1));
        for (int y = 8; y < 24; y += 4)
            p.drawLine(QPointF(9, y), QPointF(21, y));
        p.setPen(QPen(QColor(0xd0, 0x20, 0x20), 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(17, 17), QPointF(28, 28));
        p.drawLine(QPointF(28, 17), QPointF(17, 28));
        break;
    }
    case ToolIcon::Save: {
        p.setPen(QPen(QColor(0x10, 0x30, 0x70), 1.5));
        p.setBrush(QColor(0x30, 0x60, 0xc0));
        QPolygonF disk;
        disk << QPointF(4, 4) << QPointF(24, 4) << QPointF(28, 8) << QPointF(28, 28) << QPointF(4, 28);
        p.drawPolygon(disk);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(8, 4, 14, 9));
        p.setBrush(QColor(0xe0, 0xe0, 0xe8));
        p.drawRect(QRectF(8, 17, 16, 11));
        p.setBrush(QColor(0x10, 0x30, 0x70));
        p.drawRect(QRectF(17, 6, 3, 5));
        break;
    }
    case ToolIcon::Print: {
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 3, 14, 10));
        p.setBrush(QColor(0x80, 0x80, 0x88));
        p.drawRoundedRect(QRectF(3, 11, 26, 12), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 18, 14, 11));
        p.setPen(QPen(QColor(0x90, 0x90, 0x98), 1));
        p.drawLine(QPointF(12, 22), QPointF(20, 22));
        p.drawLine(QPointF(12, 25), QPointF(20, 25));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x30, 0xc0, 0x30));
        p.drawEllipse(QPointF(25, 15), 1.5, 1.5);
        break;
    }
    case ToolIcon::Refresh: {
        const QColor green(0x20, 0x90, 0x30);
        p.setPen(QPen(green, 3.5, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(6, 6, 20, 20), 100 * 16, 250 * 16);
        QPolygonF head;
        head << QPointF(12, 1) << QPointF(20, 7) << QPointF(11, 12);
        p.setPen(Qt::NoPen);
        p.setBrush(green);
        p.drawPolygon(head);
        break;
    }
    case ToolIcon::Connect: {
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(QColor(0xa0, 0xa0, 0xa8));
        p.drawRect(QRectF(10, 2, 3, 8));
        p.drawRect(QRectF(19, 2, 3, 8));
        p.setBrush(QColor(0x20, 0x70, 0xd0));
        QPainterPath body;
        body.moveTo(6, 10);
        body.lineTo(26, 10);
        body.lineTo(26, 17);
        body.quadTo(26, 24, 19, 24);
        body.lineTo(13, 24);
        body.quadTo(6, 24, 6, 17);
        body.closeSubpath();
        p.drawPath(body);
        p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 24), QPointF(16, 30));
        break;
    }
    case ToolIcon::Read:
        chip(p, QRectF(4, 4, 24, 13));
        arrow(p, QPointF(16, 19), QPointF(16, 26), QColor(0x20, 0x90, 0x30));
        break;
    case ToolIcon::Write:
        chip(p, QRectF(4, 15, 24, 13));
        arrow(p, QPointF(16, 13), QPointF(16, 6), QColor(0xd0, 0x30, 0x20));
        break;
    case ToolIcon::MouseTuning: {
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(9, 6, 15, 23), 7, 7);
        p.drawLine(QPointF(16.5, 6), QPointF(16.5, 15));
        p.drawLine(QPointF(9, 15), QPointF(24, 15));
        p.setBrush(QColor(0x20, 0x70, 0xd0));
        p.drawRoundedRect(QRectF(15, 8, 3, 5), 1.5, 1.5);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(14, -4, 12, 12), 180 * 16, 90 * 16);
        break;
    }
    case ToolIcon::About: {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x20, 0x70, 0xd0));
        p.drawEllipse(QRectF(3, 3, 26, 26));
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(16, 9.5), 2.3, 2.3);
        p.drawRoundedRect(QRectF(14, 14, 4, 11), 1, 1);
        break;
    }
    case ToolIcon::Exit: {
        const QColor red(0xc8, 0x20, 0x20);
        p.setPen(QPen(red, 3.5, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(5, 6, 22, 22), 120 * 16, -240 * 16);
        p.drawLine(QPointF(16, 3), QPointF(16, 15));
        break;
    }
    case ToolIcon::Undo:
    case ToolIcon::Redo:
        turnArrow(p, kind == ToolIcon::Redo);
        break;
    case ToolIcon::Compare: {
        // Two pages side by side, the second one's lines marked where they differ.
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3, 4, 12, 24));
        p.drawRect(QRectF(17, 4, 12, 24));
        for (int i = 0; i < 4; ++i) {
            const double y = 9 + i * 5;
            p.setPen(QPen(kInk, 1.5));
            p.drawLine(QPointF(5.5, y), QPointF(12.5, y));
            p.setPen(QPen(i == 1 || i == 3 ? QColor(0xd0, 0x30, 0x30) : kInk, i == 1 || i == 3 ? 2.5 : 1.5));
            p.drawLine(QPointF(19.5, y), QPointF(26.5, y));
        }
        break;
    }
    case ToolIcon::CompareEmu: {
        // A page beside the unit, its lines marked where they differ.
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3, 4, 12, 24));
        for (int i = 0; i < 4; ++i) {
            const double y = 9 + i * 5;
            p.setPen(QPen(i == 1 ? QColor(0xd0, 0x30, 0x30) : kInk, i == 1 ? 2.5 : 1.5));
            p.drawLine(QPointF(5.5, y), QPointF(12.5, y));
        }
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(QColor(0x40, 0x48, 0x58));
        p.drawRoundedRect(QRectF(18, 9, 11, 14), 1.5, 1.5);
        for (int i = 0; i < 3; ++i) {
            const double y = 12 + i * 4;
            p.drawLine(QPointF(16, y), QPointF(18, y));
            p.drawLine(QPointF(29, y), QPointF(31, y));
        }
        break;
    }
    }
}

QPixmap render(ToolIcon kind, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font = p.font();
    font.setPixelSize(7);
    font.setBold(true);
    p.setFont(font);
    p.scale(double(size) / kGrid, double(size) / kGrid);
    paint(p, kind);
    return pixmap;
}

} // namespace

QIcon toolIcon(ToolIcon kind) {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(render(kind, size));
    return icon;
}
