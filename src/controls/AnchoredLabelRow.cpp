#include "controls/AnchoredLabelRow.h"

#include <QEvent>
#include <QLabel>

#include <algorithm>
#include <vector>

namespace {

constexpr int kGap = 4; // pixels kept free between neighbours

} // namespace

AnchoredLabelRow::AnchoredLabelRow(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void AnchoredLabelRow::addLabel(QLabel* label, QWidget* anchor) {
    label->setParent(this);
    label->setAlignment(Qt::AlignCenter);
    items_.append({label, anchor});
    // The anchor moves when it or the widget holding it moves.
    anchor->installEventFilter(this);
    if (anchor->parentWidget() && anchor->parentWidget() != parentWidget())
        anchor->parentWidget()->installEventFilter(this);
    place();
}

QList<QLabel*> AnchoredLabelRow::labels() const {
    QList<QLabel*> out;
    for (const Item& i : items_)
        out << i.label;
    return out;
}

int AnchoredLabelRow::lineHeight() const {
    int h = fontMetrics().height();
    for (const Item& i : items_)
        h = std::max(h, i.label->sizeHint().height());
    return h;
}

QSize AnchoredLabelRow::sizeHint() const {
    int w = 0;
    for (const Item& i : items_)
        w += std::max(i.label->sizeHint().width(), i.label->minimumWidth()) + kGap;
    return {w, lineHeight() * (staggered_ ? 2 : 1)};
}

QSize AnchoredLabelRow::minimumSizeHint() const {
    return {0, lineHeight() * (staggered_ ? 2 : 1)};
}

void AnchoredLabelRow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place();
}

bool AnchoredLabelRow::event(QEvent* event) {
    // A label's new text asks its parent, this row, to lay it out again.
    if (event->type() == QEvent::LayoutRequest)
        place();
    return QWidget::event(event);
}

bool AnchoredLabelRow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type t = event->type();
    if (t == QEvent::Move || t == QEvent::Resize || t == QEvent::Show || t == QEvent::Hide)
        place();
    return QWidget::eventFilter(watched, event);
}

void AnchoredLabelRow::place() {
    if (placing_)
        return;
    placing_ = true;
    struct Slot {
        QLabel* label;
        int centre;
        int width;
    };
    QList<Slot> places;
    for (const Item& i : items_) {
        if (i.anchor->isHidden())
            continue;
        const QPoint c = i.anchor->mapTo(window(), i.anchor->rect().center());
        const int centre = mapFrom(window(), c).x();
        // A label held at a fixed width is placed at that width.
        places.append({i.label, centre, std::max(i.label->sizeHint().width(), i.label->minimumWidth())});
    }
    // Each label centred on its anchor, kept inside the row; one line when no two neighbours touch
    // where they are placed (the row's edges may push a label towards its neighbour).
    std::vector<int> lefts;
    for (const Slot& s : places)
        lefts.push_back(std::clamp(s.centre - s.width / 2, 0, std::max(0, width() - s.width)));
    bool touch = false;
    for (qsizetype k = 1; k < places.size(); ++k)
        touch = touch || lefts[static_cast<size_t>(k - 1)] + places[k - 1].width + kGap >
                             lefts[static_cast<size_t>(k)];
    const int line = lineHeight();
    for (qsizetype k = 0; k < places.size(); ++k)
        places[k].label->setGeometry(lefts[static_cast<size_t>(k)], touch && k % 2 ? line : 0,
                                     places[k].width, line);
    if (touch != staggered_) {
        staggered_ = touch;
        updateGeometry();
    }
    placing_ = false;
}
