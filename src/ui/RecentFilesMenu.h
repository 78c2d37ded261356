#pragma once

#include <QMenu>

class WindowSettings;

// The Open button's menu of recent files, numbered for the keyboard and pruned of files that are
// gone each time it opens.
class RecentFilesMenu : public QMenu {
    Q_OBJECT

  public:
    RecentFilesMenu(WindowSettings& settings, QWidget* parent);

    // The file was opened or saved: it goes first.
    void note(const QString& path);

  signals:
    void openRequested(const QString& path);

  private:
    void fill();

    WindowSettings& settings_;
};
