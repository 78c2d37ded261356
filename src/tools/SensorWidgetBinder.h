#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class CommitLineEdit;
class QAbstractButton;
class SetupPage;
class TTPSCalForm;
class ToolSession;

// Binds the Setup page's "Calibrate" buttons to the sensor calibration: the throttle sensor's
// button opens the calibration dialog; each of the other three reveals its hidden number field,
// which sends a typed number once, when it is committed (Enter, Tab, leaving the field), and hides
// again when it loses the focus.
class SensorWidgetBinder : public QObject {
    Q_OBJECT

  public:
    SensorWidgetBinder(ToolSession& session, QObject* parent = nullptr);

    // Puts the number fields Edit52 (id 44), Edit58 (id 50) and Edit60 (id 52) beside the page's
    // Button1, Button2 and Button3, and binds CalBtn to the dialog.
    void bindSetupPage(SetupPage& page, TTPSCalForm& dialog);
    // One button and its field; name is the field's caption in messages. The field starts hidden.
    void attach(QAbstractButton* button, CommitLineEdit* edit, int id, const QString& name);
    // Where a refused or undelivered number is reported (the main window's status bar).
    void setStatusHook(std::function<void(const QString&)> hook) { showStatus_ = std::move(hook); }

    // A field's commit (Edit52Change and its twins): an empty text when the number went to the
    // unit or nothing was to be sent, else why not.
    QString fieldCommitted(CommitLineEdit* edit, int id, const QString& name, const QString& text);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Field {
        CommitLineEdit* edit;
        int id;
    };
    void showUnitValue(int id);
    const Field* fieldOf(const QObject* watched) const;

    ToolSession& session_;
    std::vector<Field> fields_;
    std::function<void(const QString&)> showStatus_;
    int committingId_ = -1;
};
