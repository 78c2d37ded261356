#include "tools/DialogKeyPreview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

DialogKeyPreview::DialogKeyPreview(QWidget& window, Handler keyDown, Handler keyUp)
    : QObject(&window), window_(window), keyDown_(std::move(keyDown)), keyUp_(std::move(keyUp)) {
    qApp->installEventFilter(this);
}

DialogKeyPreview::~DialogKeyPreview() {
    qApp->removeEventFilter(this);
}

bool DialogKeyPreview::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != &window_)
        return false;
    // An ignored key travels up to the parents; the dialog sees it once, at its first receiver.
    if (event == previewedEvent_ && previewedReceiver_ && previewedReceiver_ != widget &&
        widget->isAncestorOf(previewedReceiver_))
        return false;
    previewedEvent_ = event;
    previewedReceiver_ = widget;
    auto* key = static_cast<QKeyEvent*>(event);
    return type == QEvent::KeyPress ? keyDown_(key) : keyUp_(key);
}
