#include "link/PortNaming.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <utility>
#include <vector>

namespace PortNaming {

QString devicePath(int port) {
    if (port < kFirstPort || port > kLastPort) {
        return {};
    }
    // Set but empty still counts: it means "no devices at all", which tests and the demo rely on.
    if (qEnvironmentVariableIsSet("EMU_PORTS")) {
        const QStringList entries = qEnvironmentVariable("EMU_PORTS").split(QLatin1Char(':'));
        return port <= entries.size() ? entries.at(port - 1) : QString();
    }
    const QStringList devices = machineSerialDevices();
    return port <= devices.size() ? devices.at(port - 1) : QString();
}

QStringList machineSerialDevices(const QString& devRoot) {
    const QDir dir(devRoot);
    QStringList result;
    for (const char* name : {"ttyUSB", "ttyACM", "ttyS"}) {
        const QString prefix = QString::fromLatin1(name);
        const QRegularExpression pattern(
            QRegularExpression::anchoredPattern(prefix + QStringLiteral("(\\d+)")));
        std::vector<std::pair<qulonglong, QString>> found;
        // Device nodes count as "System" entries for QDir.
        const QStringList names =
            dir.entryList({prefix + QLatin1Char('*')}, QDir::Files | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& name : names) {
            const QRegularExpressionMatch match = pattern.match(name);
            if (match.hasMatch()) {
                found.emplace_back(match.captured(1).toULongLong(), name);
            }
        }
        std::sort(found.begin(), found.end());
        for (const auto& entry : found) {
            result << dir.filePath(entry.second);
        }
    }
    return result;
}

QString portName(int port) {
    return QStringLiteral("Com") + QString::number(port);
}

} // namespace PortNaming
