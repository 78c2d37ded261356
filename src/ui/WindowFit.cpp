#include "ui/WindowFit.h"

#include "ui/WindowSettings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace WindowFit {

QRect place(QSize wanted, QSize minimum, const QRect& available, const QMargins& frame,
            const std::optional<QRect>& remembered) {
    const QRect inner = available.marginsRemoved(frame);
    const QSize room = inner.size().expandedTo(QSize(1, 1));
    QSize size = remembered ? remembered->size() : wanted;
    // The minimum first, then the screen: the whole window on the screen matters more.
    size = size.expandedTo(minimum).boundedTo(room);

    QPoint topLeft;
    if (remembered) {
        topLeft = remembered->topLeft();
    } else {
        // Centred across, at the top of the area: the maps need the height.
        topLeft = QPoint(inner.left() + (inner.width() - size.width()) / 2, inner.top());
    }
    topLeft.setX(std::clamp(topLeft.x(), inner.left(), inner.left() + inner.width() - size.width()));
    topLeft.setY(std::clamp(topLeft.y(), inner.top(), inner.top() + inner.height() - size.height()));
    return QRect(topLeft, size);
}

bool restore(QWidget& window, WindowSettings& settings, QSize wanted) {
    const std::optional<QRect> remembered = settings.geometry();
    QScreen* shown = remembered ? QGuiApplication::screenAt(remembered->center()) : nullptr;
    if (!shown)
        shown = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    const QRect area = shown ? shown->availableGeometry() : QRect(QPoint(0, 0), wanted);
    window.setGeometry(place(wanted, window.minimumSizeHint(), area, kTypicalFrame, remembered));
    if (settings.maximized())
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
    return remembered.has_value();
}

void remember(const QWidget& window, WindowSettings& settings) {
    settings.setGeometry(window.isMaximized() ? window.normalGeometry() : window.geometry(), window.isMaximized());
    settings.sync();
}

} // namespace WindowFit
