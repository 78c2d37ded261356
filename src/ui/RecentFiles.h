#pragma once

#include <QString>
#include <QStringList>

// The files the Open button offers again: the most recent first, each once, at most kMax.
class RecentFiles {
  public:
    static constexpr int kMax = 10;

    explicit RecentFiles(const QStringList& paths = {});

    // Puts the file first (by its absolute path), dropping an older entry of the same file.
    void add(const QString& path);
    void remove(const QString& path);
    // Drops the files that no longer exist; true when one was dropped.
    bool pruneMissing();

    const QStringList& paths() const { return paths_; }

  private:
    QStringList paths_;
};
