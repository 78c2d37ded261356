#include "ui/WindowSettings.h"

#include "link/PortNaming.h"

#include <QDir>
#include <QFile>
#include <QSettings>

namespace {

const QString kGeometry = QStringLiteral("window/geometry");
const QString kMaximized = QStringLiteral("window/maximized");
const QString kLastPort = QStringLiteral("link/lastPort");
const QString kOpenFolder = QStringLiteral("files/openFolder");
const QString kSaveFolder = QStringLiteral("files/saveFolder");
const QString kRecentFiles = QStringLiteral("files/recent");
const QString kLogFolder = QStringLiteral("logger/folder");

// Anything larger is no window a screen shows.
constexpr int kMaxExtent = 32768;

} // namespace

WindowSettings::WindowSettings()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QStringLiteral("emu-interface"),
                                            QStringLiteral("emu-interface"))) {
    setAsideIfBroken();
}

WindowSettings::WindowSettings(const QString& filePath)
    : settings_(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {
    setAsideIfBroken();
}

WindowSettings::~WindowSettings() = default;

void WindowSettings::setAsideIfBroken() {
    if (settings_->status() == QSettings::NoError)
        return;
    setAside();
}

void WindowSettings::setAside() {
    // QSettings never writes over a file it could not read. The broken one is kept beside the new
    // one for whoever wants to look at it.
    const QString path = settings_->fileName();
    const QString aside = path + QStringLiteral(".broken");
    settings_.reset();
    QFile::remove(aside);
    if (!QFile::rename(path, aside))
        QFile::remove(path);
    settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

std::optional<QRect> WindowSettings::geometry() const {
    const QStringList parts = settings_->value(kGeometry).toString().split(QLatin1Char(' '));
    if (parts.size() != 4)
        return std::nullopt;
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].toInt(&ok);
        if (!ok || v[i] < -kMaxExtent || v[i] > kMaxExtent)
            return std::nullopt;
    }
    if (v[2] <= 0 || v[3] <= 0)
        return std::nullopt;
    return QRect(v[0], v[1], v[2], v[3]);
}

bool WindowSettings::maximized() const {
    return settings_->value(kMaximized).toString() == QLatin1String("true");
}

void WindowSettings::setGeometry(const QRect& normal, bool maximized) {
    settings_->setValue(kGeometry, QStringLiteral("%1 %2 %3 %4")
                                       .arg(normal.x())
                                       .arg(normal.y())
                                       .arg(normal.width())
                                       .arg(normal.height()));
    settings_->setValue(kMaximized, maximized ? QStringLiteral("true") : QStringLiteral("false"));
}

std::optional<int> WindowSettings::lastPort() const {
    bool ok = false;
    const int port = settings_->value(kLastPort).toString().toInt(&ok);
    if (!ok || port < PortNaming::kFirstPort || port > PortNaming::kLastPort)
        return std::nullopt;
    return port;
}

void WindowSettings::setLastPort(int port) {
    settings_->setValue(kLastPort, port);
}

QString WindowSettings::folderValue(const QString& key) const {
    const QString folder = settings_->value(key).toString();
    // A folder that has gone since is no place to start a dialog in.
    if (folder.isEmpty() || !QDir(folder).exists())
        return {};
    return folder;
}

QString WindowSettings::openFolder() const {
    return folderValue(kOpenFolder);
}

void WindowSettings::setOpenFolder(const QString& folder) {
    settings_->setValue(kOpenFolder, folder);
}

QString WindowSettings::saveFolder() const {
    return folderValue(kSaveFolder);
}

void WindowSettings::setSaveFolder(const QString& folder) {
    settings_->setValue(kSaveFolder, folder);
}

QString WindowSettings::logFolder() const {
    return folderValue(kLogFolder);
}

void WindowSettings::setLogFolder(const QString& folder) {
    settings_->setValue(kLogFolder, folder);
}

QStringList WindowSettings::recentFiles() const {
    return settings_->value(kRecentFiles).toStringList();
}

void WindowSettings::setRecentFiles(const QStringList& files) {
    settings_->setValue(kRecentFiles, files);
}

QString WindowSettings::fileName() const {
    return settings_->fileName();
}

bool WindowSettings::sync() {
    settings_->sync();
    if (settings_->status() == QSettings::NoError)
        return true;
    // A file QSettings read without complaint may still be one it cannot write back (junk that
    // parsed as keys): start a clean file with this run's values.
    QVariantMap values;
    for (const QString& key : {kGeometry, kMaximized, kLastPort, kOpenFolder, kSaveFolder, kRecentFiles, kLogFolder})
        if (settings_->contains(key))
            values.insert(key, settings_->value(key));
    setAside();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings_->setValue(it.key(), it.value());
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}
