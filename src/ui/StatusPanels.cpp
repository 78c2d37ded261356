#include "ui/StatusPanels.h"

#include <QEvent>
#include <QLabel>
#include <QStatusBar>

StatusPanels::StatusPanels(QStatusBar& bar) : QObject(&bar) {
    bar.setObjectName(QStringLiteral("StatusBar1"));
    bar.setSizeGripEnabled(true);
    const std::array<int, 3> widths{270, 300, 270};
    const std::array<Qt::Alignment, 3> alignments{Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignCenter,
                                                  Qt::AlignRight | Qt::AlignVCenter};
    for (size_t i = 0; i < panels_.size(); ++i) {
        auto* panel = new QLabel(&bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFixedWidth(widths[i]);
        panel->setAlignment(alignments[i]);
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setContentsMargins(4, 0, 4, 0);
        panel->installEventFilter(this);
        bar.addWidget(panel);
        panels_[i] = panel;
    }
}

QString StatusPanels::text(int panel) const {
    if (panel < 0 || panel >= static_cast<int>(panels_.size()))
        return {};
    return texts_[static_cast<size_t>(panel)];
}

void StatusPanels::setText(int panel, const QString& text) {
    if (panel < 0 || panel >= static_cast<int>(panels_.size()))
        return;
    const auto i = static_cast<size_t>(panel);
    texts_[i] = text;
    panels_[i]->setToolTip(text);
    panels_[i]->setAccessibleName(text);
    showFitted(i);
}

QString StatusPanels::fitted(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    const QString ellipsis = QStringLiteral("\u2026");
    // Cut at a word: the longest run of whole words that fits with the ellipsis.
    QString shown;
    for (qsizetype at = text.indexOf(QLatin1Char(' ')); at > 0; at = text.indexOf(QLatin1Char(' '), at + 1)) {
        const QString head = text.left(at).trimmed();
        if (metrics.horizontalAdvance(head + ellipsis) > width)
            break;
        shown = head;
    }
    // A first word too long for the panel is cut where it must be; the tooltip has it whole.
    if (shown.isEmpty())
        return metrics.elidedText(text, Qt::ElideRight, width);
    return shown + ellipsis;
}

void StatusPanels::showFitted(size_t panel) {
    QLabel* label = panels_[panel];
    label->setText(fitted(texts_[panel], label->fontMetrics(), label->contentsRect().width()));
}

bool StatusPanels::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize || event->type() == QEvent::FontChange)
        for (size_t i = 0; i < panels_.size(); ++i)
            if (panels_[i] == watched)
                showFitted(i);
    return QObject::eventFilter(watched, event);
}
