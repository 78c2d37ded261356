#include "ui/StatusPanels.h"

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
        bar.addWidget(panel);
        panels_[i] = panel;
    }
}

QString StatusPanels::text(int panel) const {
    if (panel < 0 || panel >= static_cast<int>(panels_.size()))
        return {};
    return panels_[static_cast<size_t>(panel)]->text();
}

void StatusPanels::setText(int panel, const QString& text) {
    if (panel < 0 || panel >= static_cast<int>(panels_.size()))
        return;
    QLabel* label = panels_[static_cast<size_t>(panel)];
    label->setText(text);
    label->setToolTip(text);
}
