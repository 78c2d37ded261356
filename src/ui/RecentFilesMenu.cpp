#include "ui/RecentFilesMenu.h"

#include "ui/RecentFiles.h"
#include "ui/WindowSettings.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>

RecentFilesMenu::RecentFilesMenu(WindowSettings& settings, QWidget* parent) : QMenu(parent), settings_(settings) {
    setObjectName(QStringLiteral("RecentFilesMenu"));
    setToolTipsVisible(true);
    connect(this, &QMenu::aboutToShow, this, &RecentFilesMenu::fill);
}

void RecentFilesMenu::note(const QString& path) {
    RecentFiles recent(settings_.recentFiles());
    recent.add(path);
    settings_.setRecentFiles(recent.paths());
    settings_.sync();
}

void RecentFilesMenu::fill() {
    clear();
    RecentFiles recent(settings_.recentFiles());
    if (recent.pruneMissing()) {
        settings_.setRecentFiles(recent.paths());
        settings_.sync();
    }
    if (recent.paths().isEmpty()) {
        addAction(QStringLiteral("No recent files"))->setEnabled(false);
        return;
    }
    int number = 1;
    for (const QString& path : recent.paths()) {
        // Numbered for the keyboard: &1 .. &9, then 1&0.
        const QString label = QStringLiteral("%1 %2").arg(
            number < 10 ? QStringLiteral("&%1").arg(number) : QStringLiteral("1&0"),
            QFileInfo(path).fileName().replace(QLatin1Char('&'), QStringLiteral("&&")));
        QAction* action = addAction(label);
        action->setToolTip(QDir::toNativeSeparators(path));
        action->setStatusTip(QDir::toNativeSeparators(path));
        action->setData(path);
        connect(action, &QAction::triggered, this, [this, path] { emit openRequested(path); });
        ++number;
    }
}
