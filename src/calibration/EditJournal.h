#pragma once

#include "calibration/CalibrationData.h"
#include "calibration/CalibrationEditor.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// What a journal file holds: the unit it belongs to and the edits sent to it, oldest first.
struct JournalContents {
    int model = 0;
    QString serial;
    QList<EditRecord> edits;
    // Empty when every line was whole; otherwise why reading stopped (edits holds the lines before).
    QString problem;
};

// The edit journal: every edit sent to a unit, appended to a file of that unit and on the disk
// before the next edit is taken, so that a session killed before "Write to EMU" or a save can be
// offered back at the next Connect.
//
// One line per record, each ending in " *" and the CRC-16 of the text before it, so that a line cut
// by a crash or damaged on the disk is told from a whole one:
//   unit <model> <serial, percent-encoded>
//   map <map name> <point> <old value> <new value> <time>
//   setup <id> <old plain byte> <new plain byte> <time>
class EditJournal {
  public:
    // Journals live in $XDG_STATE_HOME/emu-interface (~/.local/state/emu-interface without it).
    static QString defaultFolder();
    // The file of one unit, named by its model and serial text ("emu3-AB-010203-04.journal").
    static QString fileName(int model, const QString& serial);

    explicit EditJournal(QString folder = defaultFolder());
    ~EditJournal();
    EditJournal(const EditJournal&) = delete;
    EditJournal& operator=(const EditJournal&) = delete;

    QString folder() const { return folder_; }
    QString pathFor(int model, const QString& serial) const;

    // Starts a new, empty journal for the unit (replacing what its file held) and keeps it open.
    bool start(int model, const QString& serial);
    // Empties the open journal: the unit's edits are now stored elsewhere.
    bool restart();
    void close();
    bool isOpen() const { return fd_ >= 0; }
    QString path() const { return path_; }
    QString lastError() const { return lastError_; }

    // Appends one sent edit and waits until it is on the disk. Unsent edits are not journalled.
    bool append(const EditRecord& record);

    static QByteArray unitLine(int model, const QString& serial);
    static QByteArray editLine(const EditRecord& record);
    // Reads a journal's text; stops at the first cut or damaged line.
    static JournalContents parse(const QByteArray& text);
    // Reads a journal file; nothing when the file is missing or unreadable (errorText says why).
    static std::optional<JournalContents> readFile(const QString& path, QString* errorText = nullptr);

    // The edits laid over a wire image (setup bytes and map points at their image offsets).
    static void applyToImage(const QList<EditRecord>& edits, std::array<std::uint8_t, kImageSize>& wire);

  private:
    bool writeAll(const QByteArray& bytes);

    QString folder_;
    QString path_;
    QByteArray unitLine_;
    int fd_ = -1;
    QString lastError_;
};
