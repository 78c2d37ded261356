#include "ui/RecentFiles.h"

#include <QFileInfo>

namespace {

QString normalised(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

RecentFiles::RecentFiles(const QStringList& paths) {
    // Added oldest first so that duplicates and the limit are handled as for a new file.
    for (auto it = paths.crbegin(); it != paths.crend(); ++it)
        if (!it->isEmpty())
            add(*it);
}

void RecentFiles::add(const QString& path) {
    const QString file = normalised(path);
    paths_.removeAll(file);
    paths_.prepend(file);
    while (paths_.size() > kMax)
        paths_.removeLast();
}

void RecentFiles::remove(const QString& path) {
    paths_.removeAll(normalised(path));
}

bool RecentFiles::pruneMissing() {
    const auto removed = paths_.removeIf([](const QString& p) { return !QFileInfo(p).isFile(); });
    return removed > 0;
}
