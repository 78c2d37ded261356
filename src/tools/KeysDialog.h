#pragma once

#include <QDialog>

class QTextBrowser;

// The keys of the window in one place: the tool bar's, the map charts', the jet trims', the data
// logger's and the throttle calibration's. Opened from the About window (F1).
class KeysDialog : public QDialog {
    Q_OBJECT

  public:
    explicit KeysDialog(QWidget* parent = nullptr);

    // The page as shown, for reading it in tests.
    QString text() const;

  private:
    QTextBrowser* page_ = nullptr;
};
