#pragma once

#include <QObject>
#include <QString>

#include <array>

class QLabel;
class QStatusBar;

// The status bar's three panels: what the program is doing (0), the unit (1) and its type (2).
// Every text is also the panel's tooltip, so a long one can be read whole.
class StatusPanels : public QObject {
    Q_OBJECT

  public:
    explicit StatusPanels(QStatusBar& bar);

    QString text(int panel) const;
    void setText(int panel, const QString& text);

  private:
    std::array<QLabel*, 3> panels_{};
};
