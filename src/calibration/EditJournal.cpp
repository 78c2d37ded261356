#include "calibration/EditJournal.h"
#include "link/ImageLayout.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QUrl>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kMaxJournalSize = 64 << 20; // far beyond a day of tuning
constexpr int kMaxGroupSize = 100000;        // far beyond the largest operation on ten maps

QByteArray withChecksum(const QByteArray& text) {
    const quint16 crc = qChecksum(QByteArrayView(text));
    return text + " *" + QByteArray::number(crc, 16).rightJustified(4, '0') + '\n';
}

// The text of a whole line (without its newline), or nothing when the checksum does not match.
std::optional<QByteArray> checkedText(const QByteArray& line) {
    const qsizetype star = line.lastIndexOf(" *");
    if (star < 0 || line.size() - star != 6)
        return std::nullopt;
    const QByteArray text = line.left(star);
    bool ok = false;
    const uint crc = line.mid(star + 2).toUInt(&ok, 16);
    if (!ok || crc != qChecksum(QByteArrayView(text)))
        return std::nullopt;
    return text;
}

QByteArray number(double v) {
    return QByteArray::number(v, 'g', 17);
}

std::optional<MapId> mapByName(const QByteArray& name) {
    for (const MapInfo& info : mapTable())
        if (name == info.name)
            return info.id;
    return std::nullopt;
}

std::optional<EditRecord> parseEdit(const QList<QByteArray>& f) {
    EditRecord r;
    r.sent = true;
    bool ok[4] = {false, false, false, false};
    qsizetype at = 0; // where the old value is
    if (f.size() == 6 && f[0] == "map") {
        at = 3;
        const auto map = mapByName(f[1]);
        if (!map)
            return std::nullopt;
        r.kind = EditRecord::Kind::MapPoint;
        r.map = *map;
        r.point = f[2].toInt(&ok[0]);
        if (!ok[0] || r.point < 1 || r.point > mapInfo(*map).points)
            return std::nullopt;
    } else if (f.size() == 5 && f[0] == "setup") {
        at = 2;
        r.kind = EditRecord::Kind::SetupValue;
        r.setupId = f[1].toInt(&ok[0]);
        if (!ok[0] || r.setupId < 0 || r.setupId >= kSetupBlockSize)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    r.oldValue = f[at].toDouble(&ok[1]);
    r.newValue = f[at + 1].toDouble(&ok[2]);
    r.time = QDateTime::fromString(QString::fromLatin1(f[at + 2]), Qt::ISODateWithMs);
    ok[3] = r.time.isValid();
    if (!ok[1] || !ok[2] || !ok[3])
        return std::nullopt;
    if (r.kind == EditRecord::Kind::SetupValue &&
        (r.newValue < 0 || r.newValue > 255 || r.oldValue < 0 || r.oldValue > 255))
        return std::nullopt;
    return r;
}

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

QByteArray encodedPath(const QString& path) {
    return QFile::encodeName(path);
}

// The whole file behind a descriptor, or nothing when it cannot be read or is far too large.
std::optional<QByteArray> readAll(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size > kMaxJournalSize)
        return std::nullopt;
    QByteArray bytes(static_cast<qsizetype>(st.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done), done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}

std::optional<EditRecord> parseEditLine(const QByteArray& line) {
    const auto checked = checkedText(line);
    if (!checked)
        return std::nullopt;
    return parseEdit(checked->split(' '));
}

// "group <number> <count>": the operation's number and how many lines follow.
std::optional<std::pair<int, int>> parseGroupLine(const QByteArray& line) {
    const auto checked = checkedText(line);
    if (!checked || !checked->startsWith("group "))
        return std::nullopt;
    const QList<QByteArray> f = checked->split(' ');
    bool ok[2] = {false, false};
    const int group = f.size() == 3 ? f[1].toInt(&ok[0]) : 0;
    const int count = f.size() == 3 ? f[2].toInt(&ok[1]) : 0;
    if (!ok[0] || !ok[1] || group < 1 || count < 1 || count > kMaxGroupSize)
        return std::nullopt;
    return std::pair{group, count};
}

QString keptName(const QString& path) {
    return path + QStringLiteral(".") +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss-zzz"));
}

} // namespace

bool JournalContents::isFor(int m, const QString& s) const {
    return hasUnitLine && model == m && serial == s;
}

QString EditJournal::defaultFolder() {
    // The same folder for the window and emu-cli, whatever each program is called: the XDG state
    // folder, with its documented default.
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    const QString base = !state.isEmpty() ? QString::fromLocal8Bit(state)
                                          : QDir::home().filePath(QStringLiteral(".local/state"));
    return QDir(base).filePath(QStringLiteral("emu-interface"));
}

QString EditJournal::fileName(int model, const QString& serial, int copy) {
    // Hex holds only 0-9 and a-f, so the '.' and '-' around it can never be part of it, and the
    // '.' keeps these names apart from the old ones, which never held one.
    const QString hex = QString::fromLatin1(serial.toUtf8().toHex());
    const QString suffix = copy > 1 ? QStringLiteral("-%1").arg(copy) : QString();
    return QStringLiteral("emu%1.%2%3.journal").arg(model).arg(hex, suffix);
}

QString EditJournal::legacyFileName(int model, const QString& serial) {
    QString safe;
    for (const QChar c : serial)
        safe += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'-' ? c : QChar(u'_');
    if (safe.isEmpty())
        safe = QStringLiteral("unknown");
    return QStringLiteral("emu%1-%2.journal").arg(model).arg(safe);
}

EditJournal::EditJournal(QString folder) : folder_(std::move(folder)) {
}

EditJournal::~EditJournal() {
    close();
}

QString EditJournal::pathFor(int model, const QString& serial) const {
    return QDir(folder_).filePath(fileName(model, serial));
}

QByteArray EditJournal::unitLine(int model, const QString& serial) {
    return withChecksum("unit " + QByteArray::number(model) + ' ' + QUrl::toPercentEncoding(serial));
}

QByteArray EditJournal::editLine(const EditRecord& r) {
    const QByteArray time = r.time.toString(Qt::ISODateWithMs).toLatin1();
    if (r.kind == EditRecord::Kind::MapPoint)
        return withChecksum("map " + QByteArray(mapInfo(r.map).name) + ' ' + QByteArray::number(r.point) +
                            ' ' + number(r.oldValue) + ' ' + number(r.newValue) + ' ' + time);
    return withChecksum("setup " + QByteArray::number(r.setupId) + ' ' + number(r.oldValue) + ' ' +
                        number(r.newValue) + ' ' + time);
}

QByteArray EditJournal::groupLine(int group, int count) {
    return withChecksum("group " + QByteArray::number(group) + ' ' + QByteArray::number(count));
}

bool EditJournal::unitIs(int model, const QString& serial) const {
    return fd_ >= 0 && model_ == model && serial_ == serial;
}

bool EditJournal::failed(const QString& what) {
    lastError_ = QStringLiteral("%1: %2").arg(what, errnoText());
    return false;
}

void EditJournal::syncFolder() {
    // A new or renamed file is only safe once its folder entry is on the disk too.
    const int dir = ::open(encodedPath(folder_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    ::fsync(dir);
    ::close(dir);
}

EditJournal::Locked EditJournal::lockFile(const QString& path, bool create) {
    const QByteArray name = encodedPath(path);
    // The name may move to another file between the open and the lock (a window keeping its
    // journal aside, or taking one over): the lock counts only on the file that has the name.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
        if (fd < 0) {
            if (errno == ENOENT && !create)
                return {Lock::Missing, -1};
            failed(QStringLiteral("cannot open %1").arg(path));
            return {Lock::Failed, -1};
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK)
                return {Lock::Busy, -1};
            errno = error;
            failed(QStringLiteral("cannot lock %1").arg(path));
            return {Lock::Failed, -1};
        }
        struct stat held {};
        struct stat named {};
        const bool heldOk = ::fstat(fd, &held) == 0;
        const bool namedOk = ::stat(name.constData(), &named) == 0;
        const bool gone = !namedOk && errno == ENOENT;
        if (heldOk && namedOk && held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            return {Lock::Held, fd};
        ::close(fd);
        if (gone && !create)
            return {Lock::Missing, -1};
    }
    lastError_ = QStringLiteral("cannot lock %1: it keeps being replaced").arg(path);
    return {Lock::Failed, -1};
}

bool EditJournal::takeFreeFile(bool* inUse, bool emptyOnly) {
    for (int copy = 1; copy <= kMaxFiles; ++copy) {
        const QString path = QDir(folder_).filePath(fileName(model_, serial_, copy));
        const Locked locked = lockFile(path, true);
        if (locked.outcome == Lock::Busy) {
            *inUse = true;
            continue;
        }
        if (locked.outcome != Lock::Held)
            return false;
        struct stat st {};
        if (emptyOnly && (::fstat(locked.fd, &st) != 0 || st.st_size > 0)) {
            ::close(locked.fd); // what an earlier session left there waits for the next claim
            continue;
        }
        fd_ = locked.fd;
        path_ = path;
        return true;
    }
    lastError_ = QStringLiteral("every journal of this EMU is in use by another window");
    return false;
}

JournalStart EditJournal::claim(int model, const QString& serial) {
    return claimFile(model, serial, true);
}

JournalStart EditJournal::claimFile(int model, const QString& serial, bool takeOver) {
    close();
    left_.reset();
    lastError_.clear();
    JournalStart result;
    if (!QDir().mkpath(folder_)) {
        lastError_ = QStringLiteral("cannot create the folder %1").arg(folder_);
        result.text = lastError_;
        return result;
    }
    model_ = model;
    serial_ = serial;
    unitLine_ = unitLine(model, serial);
    if (!takeFreeFile(&result.inUseByAnotherWindow)) {
        result.text = lastError_;
        return result;
    }
    const std::optional<QByteArray> text = readAll(fd_);
    if (!text) {
        failed(QStringLiteral("cannot read %1").arg(path_));
        close();
        result.text = lastError_;
        return result;
    }
    if (text->isEmpty()) {
        // A new file: it says whose it is before anything else.
        if (!writeAll(unitLine_)) {
            close();
            result.text = lastError_;
            return result;
        }
        syncFolder();
    } else {
        JournalContents contents = parse(*text);
        if (!contents.isFor(model, serial)) {
            // Not this unit's, whatever its name says: kept, never written over.
            const std::optional<QString> kept = moveAside();
            if (!kept) {
                close();
                result.text = lastError_;
                return result;
            }
            result.text = QStringLiteral("A damaged edit journal was kept aside as %1; ").arg(*kept);
        } else if (!contents.edits.isEmpty()) {
            left_ = std::move(contents);
        } else if (*text != unitLine_ && !restart()) {
            // A cut first edit: nothing to offer, and what follows must not come after it.
            close();
            result.text = lastError_;
            return result;
        }
    }
    if (!left_ && takeOver)
        takeOverLeftJournal();
    result.ok = true;
    if (result.inUseByAnotherWindow)
        result.text +=
            QStringLiteral("This EMU's edit journal is in use by another window; this window keeps "
                           "its own in %1")
                .arg(path_);
    if (result.text.endsWith(QStringLiteral("; ")))
        result.text.chop(2);
    return result;
}

void EditJournal::takeOverLeftJournal() {
    QStringList candidates;
    for (int copy = 1; copy <= kMaxFiles; ++copy) {
        const QString path = QDir(folder_).filePath(fileName(model_, serial_, copy));
        if (path != path_)
            candidates << path;
    }
    candidates << QDir(folder_).filePath(legacyFileName(model_, serial_));
    for (const QString& path : candidates) {
        const Locked locked = lockFile(path, false);
        if (locked.outcome != Lock::Held)
            continue; // missing, or held by a live window
        const std::optional<QByteArray> text = readAll(locked.fd);
        JournalContents contents = text ? parse(*text) : JournalContents{};
        if (!contents.isFor(model_, serial_)) {
            ::close(locked.fd); // another unit's under the old name, or not a journal: left alone
            continue;
        }
        if (contents.edits.isEmpty()) {
            ::unlink(encodedPath(path).constData()); // nothing in it to offer
            ::close(locked.fd);
            continue;
        }
        // It takes the place of this window's empty file, lock and all.
        if (::rename(encodedPath(path).constData(), encodedPath(path_).constData()) != 0) {
            ::close(locked.fd);
            continue;
        }
        ::close(fd_);
        fd_ = locked.fd;
        left_ = std::move(contents);
        syncFolder();
        return;
    }
}

JournalStart EditJournal::start(int model, const QString& serial) {
    // Journals the caller cannot have read (a further copy, an old name) are never dropped unseen.
    JournalStart result = claimFile(model, serial, false);
    if (!result)
        return result;
    // Without left edits the claimed file holds only its unit line already.
    if (!left_)
        return result;
    const bool seen = path_ == pathFor(model, serial);
    const bool started = seen ? restart() : keepAside().has_value();
    if (!started) {
        result.ok = false;
        result.text = lastError_;
    }
    return result;
}

bool EditJournal::restart() {
    if (fd_ < 0)
        return false;
    left_.reset();
    pending_.clear();
    pendingCount_ = 0;
    if (::ftruncate(fd_, 0) != 0)
        return failed(QStringLiteral("cannot write %1").arg(path_));
    return writeAll(unitLine_);
}

std::optional<QString> EditJournal::moveAside() {
    const QString kept = keptName(path_);
    // link, not rename: it never replaces a file that already has the kept name.
    if (::link(encodedPath(path_).constData(), encodedPath(kept).constData()) != 0) {
        failed(QStringLiteral("cannot keep %1 aside").arg(path_));
        return std::nullopt;
    }
    ::unlink(encodedPath(path_).constData());
    syncFolder();
    // The kept file stays locked until this window holds a fresh one.
    const int keptFd = fd_;
    fd_ = -1;
    bool inUse = false;
    const bool fresh = takeFreeFile(&inUse, true) && writeAll(unitLine_);
    ::close(keptFd);
    if (!fresh) {
        close();
        return std::nullopt;
    }
    syncFolder();
    return kept;
}

std::optional<QString> EditJournal::keepAside() {
    if (fd_ < 0 || !flush())
        return std::nullopt;
    const std::optional<QString> kept = moveAside();
    if (kept)
        left_.reset();
    return kept;
}

bool EditJournal::discard() {
    if (fd_ < 0)
        return true;
    pending_.clear();
    pendingCount_ = 0;
    left_.reset();
    const bool removed = ::unlink(encodedPath(path_).constData()) == 0 || errno == ENOENT;
    if (!removed)
        failed(QStringLiteral("cannot remove %1").arg(path_));
    syncFolder();
    ::close(fd_);
    fd_ = -1;
    return removed;
}

void EditJournal::close() {
    if (fd_ < 0)
        return;
    flush();
    ::close(fd_);
    fd_ = -1;
}

bool EditJournal::append(const EditRecord& record) {
    if (fd_ < 0 || !record.sent)
        return false;
    // What an earlier session left and nobody decided on goes aside, never mixed with this session's.
    if (left_ && !keepAside())
        return false;
    if (pendingCount_ > 0 && record.group != pendingGroup_ && !flush())
        return false;
    if (record.group == 0)
        return writeAll(editLine(record));
    pendingGroup_ = record.group;
    pending_ += editLine(record);
    ++pendingCount_;
    return true;
}

bool EditJournal::endGroup(int group) {
    if (pendingCount_ == 0 || group != pendingGroup_)
        return true;
    return flush();
}

bool EditJournal::flush() {
    if (pendingCount_ == 0)
        return true;
    const QByteArray bytes = groupLine(pendingGroup_, pendingCount_) + pending_;
    pending_.clear();
    pendingCount_ = 0;
    if (fd_ < 0)
        return false;
    return writeAll(bytes);
}

bool EditJournal::writeAll(const QByteArray& bytes) {
    // A write that fails half way is taken back, so that what follows it is not read as its rest.
    const off_t before = ::lseek(fd_, 0, SEEK_END);
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = errno;
            if (before >= 0)
                (void)::ftruncate(fd_, before);
            errno = error;
            return failed(QStringLiteral("cannot write %1").arg(path_));
        }
        p += n;
        left -= n;
    }
    // On the disk, not only in the kernel: the laptop's battery may be what ends the session.
    if (::fdatasync(fd_) != 0)
        return failed(QStringLiteral("cannot write %1").arg(path_));
    return true;
}

JournalContents EditJournal::parse(const QByteArray& text) {
    JournalContents contents;
    QList<QByteArray> lines = text.split('\n');
    // split gives one more piece than there are newlines: that piece is a cut line unless empty.
    const bool cutTail = !lines.takeLast().isEmpty();
    const auto damaged = [&](qsizetype index) {
        contents.problem = QStringLiteral("line %1 is damaged; the %2 edits before it are kept")
                               .arg(index + 1)
                               .arg(contents.edits.size());
    };
    const auto cutOff = [&](qsizetype index, const QString& what) {
        contents.problem = QStringLiteral("line %1 is cut off (the session ended while writing %2); "
                                          "the %3 edits before it are kept")
                               .arg(index + 1)
                               .arg(what)
                               .arg(contents.edits.size());
    };
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (i == 0) {
            const auto checked = checkedText(line);
            const QList<QByteArray> fields = checked ? checked->split(' ') : QList<QByteArray>{};
            bool ok = false;
            if (fields.size() == 3 && fields[0] == "unit")
                contents.model = fields[1].toInt(&ok);
            if (!ok) {
                contents.problem = QStringLiteral("line 1 is not the unit line of an edit journal");
                return contents;
            }
            contents.serial = QUrl::fromPercentEncoding(fields[2]);
            contents.hasUnitLine = true;
            continue;
        }
        if (line.startsWith("group ")) {
            const auto group = parseGroupLine(line);
            if (!group) {
                damaged(i);
                return contents;
            }
            const auto [number, count] = *group;
            QList<EditRecord> members;
            for (qsizetype k = i + 1; k <= i + count; ++k) {
                if (k >= lines.size()) {
                    // One operation is kept whole or not at all.
                    cutOff(i, QStringLiteral("an operation of %1 edits, which is left out").arg(count));
                    return contents;
                }
                auto edit = parseEditLine(lines[k]);
                if (!edit) {
                    damaged(k);
                    return contents;
                }
                edit->group = number;
                members << *edit;
            }
            contents.edits << members;
            i += count;
            continue;
        }
        const auto edit = parseEditLine(line);
        if (!edit) {
            damaged(i);
            return contents;
        }
        contents.edits << *edit;
    }
    if (cutTail)
        cutOff(lines.size(), QStringLiteral("it"));
    return contents;
}

std::optional<JournalContents> EditJournal::readFile(const QString& path, QString* errorText) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (errorText)
            *errorText = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    if (file.size() > kMaxJournalSize) {
        if (errorText)
            *errorText = QStringLiteral("%1: too large for an edit journal").arg(path);
        return std::nullopt;
    }
    return parse(file.readAll());
}

void EditJournal::applyToImage(const QList<EditRecord>& edits, std::array<std::uint8_t, kImageSize>& wire) {
    for (const EditRecord& e : edits) {
        if (e.kind == EditRecord::Kind::SetupValue) {
            wire[static_cast<size_t>(e.setupId)] = wireFromPlain(static_cast<int>(e.newValue));
            continue;
        }
        const MapInfo& info = mapInfo(e.map);
        const size_t at = static_cast<size_t>(info.imageOffset + e.point - 1);
        wire[at] = wireFromPlain(CalibrationEditor::mapPointByte(e.map, e.newValue));
    }
}
