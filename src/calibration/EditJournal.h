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
    bool hasUnitLine = false;
    // The edits of one operation carry its group number (EditRecord::group); single edits carry 0.
    QList<EditRecord> edits;
    // Empty when every line was whole; otherwise why reading stopped (edits holds the lines before).
    QString problem;

    // The file says it is the journal of this unit (model and serial text alike).
    bool isFor(int model, const QString& serial) const;
};

// How claiming a unit's journal went.
struct JournalStart {
    bool ok = false;
    // Another window holds the unit's journal: this one keeps a numbered file of its own.
    bool inUseByAnotherWindow = false;
    // For the status line: empty when the window simply has the unit's journal.
    QString text;

    explicit operator bool() const { return ok; }
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
//   group <number> <count>        (the next <count> lines are one operation, written at once)
//
// A window holds its journal locked (flock) for as long as it uses it, so two windows on units with
// the same serial text never write into, or offer, each other's journal: the second gets a
// numbered file of its own.
class EditJournal {
  public:
    // Beyond this many windows on one unit, the next goes without a journal.
    static constexpr int kMaxFiles = 16;

    // Journals live in $XDG_STATE_HOME/emu-interface (~/.local/state/emu-interface without it).
    static QString defaultFolder();
    // The file of one unit, named by its model and the bytes of its serial text in hex, so that no
    // two serial texts share a name ("emu3.41422d3031.journal"); copy 2 and on for further windows
    // ("emu3.41422d3031-2.journal").
    static QString fileName(int model, const QString& serial, int copy = 1);
    // The name journals had before: characters other than letters, digits and '-' became '_', so
    // serial texts differing only there shared a file. Still looked for, by its unit line.
    static QString legacyFileName(int model, const QString& serial);

    explicit EditJournal(QString folder = defaultFolder());
    ~EditJournal();
    EditJournal(const EditJournal&) = delete;
    EditJournal& operator=(const EditJournal&) = delete;

    QString folder() const { return folder_; }
    // The unit's first file (the one a single window uses).
    QString pathFor(int model, const QString& serial) const;

    // Takes the unit's journal for this window: locks the first of the unit's files no other
    // window holds (creating it when there is none) and leaves what it holds untouched. When that
    // file holds no edits, takes over a journal an earlier session left in a further copy or under
    // the old name. What an earlier session left is then in left(), to be offered before
    // anything is journalled; restart() or keepAside() deals with it.
    JournalStart claim(int model, const QString& serial);
    // A new, empty journal, for a caller that offered what pathFor() held: the unit's first file
    // is emptied. Nothing else is taken over; what an earlier session left in a further copy is
    // kept aside (never dropped unseen).
    JournalStart start(int model, const QString& serial);
    // The edits an earlier session left in the claimed journal (its unit line checked), or nullptr.
    const JournalContents* left() const { return left_ ? &*left_ : nullptr; }

    // Empties the open journal: the unit's edits are now stored elsewhere (or were dealt with).
    bool restart();
    // Moves the open journal's file aside under a dated name, never to be offered again, and goes
    // on in a new, empty journal. The kept file's path, or nothing (the journal is unchanged).
    std::optional<QString> keepAside();
    // The edits are thrown away on purpose: the file is removed and the journal closed, so the next
    // Connect offers nothing.
    bool discard();
    // Writes what waits (an open operation) and closes; the file stays for the next session.
    void close();

    bool isOpen() const { return fd_ >= 0; }
    // The open journal is this unit's.
    bool unitIs(int model, const QString& serial) const;
    QString path() const { return path_; }
    QString lastError() const { return lastError_; }

    // Appends one sent edit (after keeping aside what left() holds, when nobody dealt with it). A
    // single edit (group 0) is on the disk when this returns; the edits of one operation wait for
    // endGroup() (or the next edit of another group) and go to the disk together, in one write.
    // Unsent edits are not journalled.
    bool append(const EditRecord& record);
    // The door's operationEnded(group): the operation's edits go to the disk.
    bool endGroup(int group);
    // Writes the edits that wait, whatever their operation.
    bool flush();

    static QByteArray unitLine(int model, const QString& serial);
    static QByteArray editLine(const EditRecord& record);
    static QByteArray groupLine(int group, int count);
    // Reads a journal's text; stops at the first cut or damaged line. An operation is kept whole
    // or not at all.
    static JournalContents parse(const QByteArray& text);
    // Reads a journal file; nothing when the file is missing or unreadable (errorText says why).
    static std::optional<JournalContents> readFile(const QString& path, QString* errorText = nullptr);

    // The edits laid over a wire image (setup bytes and map points at their image offsets).
    static void applyToImage(const QList<EditRecord>& edits, std::array<std::uint8_t, kImageSize>& wire);

  private:
    enum class Lock { Held, Busy, Missing, Failed };
    struct Locked {
        Lock outcome = Lock::Failed;
        int fd = -1;
    };

    JournalStart claimFile(int model, const QString& serial, bool takeOver);
    Locked lockFile(const QString& path, bool create);
    // Locks the first of the unit's files no one holds (and, with emptyOnly, that holds nothing);
    // false when none could be had.
    bool takeFreeFile(bool* inUse, bool emptyOnly = false);
    void takeOverLeftJournal();
    // Moves the open file aside and opens a fresh one; the kept path or nothing.
    std::optional<QString> moveAside();
    bool writeAll(const QByteArray& bytes);
    bool failed(const QString& what);
    void syncFolder();

    QString folder_;
    QString path_;
    int model_ = 0;
    QString serial_;
    QByteArray unitLine_;
    int fd_ = -1;
    QString lastError_;
    std::optional<JournalContents> left_;
    // The lines of the open operation, not yet on the disk.
    QByteArray pending_;
    int pendingGroup_ = 0;
    int pendingCount_ = 0;
};
