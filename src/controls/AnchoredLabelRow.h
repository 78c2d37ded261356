#pragma once

#include <QList>
#include <QWidget>

class QLabel;

// A row of labels, each centred on the widget it belongs to (a bar above or below it). When two
// neighbours would touch, every other label steps down to a second line, so each keeps its whole
// text with room beside it; with room enough the row is one line.
class AnchoredLabelRow : public QWidget {
    Q_OBJECT

  public:
    explicit AnchoredLabelRow(QWidget* parent = nullptr);

    // The label becomes a child of the row; it follows the anchor's centre.
    void addLabel(QLabel* label, QWidget* anchor);
    bool staggered() const { return staggered_; }
    QList<QLabel*> labels() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void place();
    int lineHeight() const;

    struct Item {
        QLabel* label;
        QWidget* anchor;
    };
    QList<Item> items_;
    bool staggered_ = false;
    bool placing_ = false;
};
