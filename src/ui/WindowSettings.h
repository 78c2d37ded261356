#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QSettings;

// What the window remembers between runs, in the user's configuration folder
// ($XDG_CONFIG_HOME/emu-interface/emu-interface.conf). A missing, unreadable or broken file, or a
// value that does not make sense, gives the defaults; nothing here ever stops the program.
class WindowSettings {
  public:
    // The user's file.
    WindowSettings();
    // A file of the caller's choosing.
    explicit WindowSettings(const QString& filePath);
    ~WindowSettings();
    WindowSettings(const WindowSettings&) = delete;
    WindowSettings& operator=(const WindowSettings&) = delete;

    // The window's frame-less geometry when it was last closed (its normal geometry if maximised).
    std::optional<QRect> geometry() const;
    bool maximized() const;
    void setGeometry(const QRect& normal, bool maximized);

    // The last port a unit answered on (1..20).
    std::optional<int> lastPort() const;
    void setLastPort(int port);

    // The folders of the last Open and the last Save; empty when none.
    QString openFolder() const;
    void setOpenFolder(const QString& folder);
    QString saveFolder() const;
    void setSaveFolder(const QString& folder);
    // The folder the data logger records into.
    QString logFolder() const;
    void setLogFolder(const QString& folder);

    // The most recent first.
    QStringList recentFiles() const;
    void setRecentFiles(const QStringList& files);

    // Where the settings live.
    QString fileName() const;

    // Writes what was set to disk; false when it could not be written.
    bool sync();

  private:
    QString folderValue(const QString& key) const;
    void setAsideIfBroken();
    void setAside();

    std::unique_ptr<QSettings> settings_;
};
