#include "ui/WindowTitle.h"

#include <QFileInfo>

namespace WindowTitle {

QString compose(const QString& caption, const QString& filePath, bool modified) {
    QString title = caption;
    if (!filePath.isEmpty())
        title += QStringLiteral(" - ") + QFileInfo(filePath).fileName();
    if (modified)
        title += QLatin1Char('*');
    return title;
}

} // namespace WindowTitle
