#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>

#include <functional>

class QKeyEvent;
class QWidget;

// Key preview for a dialog: every key pressed or released in the dialog's window reaches the
// handlers before the control that has the focus. A handler returns true when it used the key.
class DialogKeyPreview : public QObject {
    Q_OBJECT

  public:
    using Handler = std::function<bool(QKeyEvent*)>;

    DialogKeyPreview(QWidget& window, Handler keyDown, Handler keyUp);
    ~DialogKeyPreview() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget& window_;
    Handler keyDown_;
    Handler keyUp_;
    QEvent* previewedEvent_ = nullptr;
    QPointer<QWidget> previewedReceiver_;
};
