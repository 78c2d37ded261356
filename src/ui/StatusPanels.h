#pragma once

#include <QObject>
#include <QString>

#include <array>

class QFontMetrics;

class QLabel;
class QStatusBar;

// The status bar's three panels: what the program is doing (0), the unit (1) and its type (2).
// Every text is also the panel's tooltip and accessible name, so a long one can be read whole; a
// text wider than its panel is shown up to the last whole word that fits, then "…".
class StatusPanels : public QObject {
    Q_OBJECT

  public:
    explicit StatusPanels(QStatusBar& bar);

    QString text(int panel) const;
    void setText(int panel, const QString& text);

    // What a panel of this width shows of a text: all of it, or its leading words and "…".
    static QString fitted(const QString& text, const QFontMetrics& metrics, int width);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void showFitted(size_t panel);

    std::array<QLabel*, 3> panels_{};
    std::array<QString, 3> texts_;
};
