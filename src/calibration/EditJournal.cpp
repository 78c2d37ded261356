#include "calibration/EditJournal.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qint64 kMaxJournalSize = 64 << 20; // far beyond a day of tuning

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

} // namespace

QString EditJournal::defaultFolder() {
    // The same folder for the window and emu-cli, whatever each program is called: the XDG state
    // folder, with its documented default.
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    const QString base = !state.isEmpty() ? QString::fromLocal8Bit(state)
                                          : QDir::home().filePath(QStringLiteral(".local/state"));
    return QDir(base).filePath(QStringLiteral("emu-interface"));
}

QString EditJournal::fileName(int model, const QString& serial) {
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

bool EditJournal::start(int model, const QString& serial) {
    close();
    if (!QDir().mkpath(folder_)) {
        lastError_ = QStringLiteral("cannot create the folder %1").arg(folder_);
        return false;
    }
    path_ = pathFor(model, serial);
    unitLine_ = unitLine(model, serial);
    return restart();
}

bool EditJournal::restart() {
    if (path_.isEmpty())
        return false;
    if (fd_ < 0)
        fd_ = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd_ < 0 || ::ftruncate(fd_, 0) != 0) {
        lastError_ =
            QStringLiteral("cannot write %1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
        close();
        return false;
    }
    return writeAll(unitLine_);
}

void EditJournal::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool EditJournal::append(const EditRecord& record) {
    if (fd_ < 0 || !record.sent)
        return false;
    return writeAll(editLine(record));
}

bool EditJournal::writeAll(const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            lastError_ = QStringLiteral("cannot write %1: %2")
                             .arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        p += n;
        left -= n;
    }
    // On the disk, not only in the kernel: the laptop's battery may be what ends the session.
    if (::fdatasync(fd_) != 0) {
        lastError_ =
            QStringLiteral("cannot write %1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

JournalContents EditJournal::parse(const QByteArray& text) {
    JournalContents contents;
    const QList<QByteArray> lines = text.split('\n');
    // split gives one more piece than there are newlines: the last piece is a cut line unless empty.
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const bool last = i == lines.size() - 1;
        if (last && line.isEmpty())
            break;
        const int lineNumber = static_cast<int>(i + 1);
        if (last) {
            contents.problem = QStringLiteral("line %1 is cut off (the session ended while writing it); "
                                              "the %2 edits before it are kept")
                                   .arg(lineNumber)
                                   .arg(contents.edits.size());
            break;
        }
        const auto checked = checkedText(line);
        const QList<QByteArray> fields = checked ? checked->split(' ') : QList<QByteArray>{};
        if (i == 0) {
            bool ok = false;
            if (fields.size() == 3 && fields[0] == "unit")
                contents.model = fields[1].toInt(&ok);
            if (!ok) {
                contents.problem = QStringLiteral("line 1 is not the unit line of an edit journal");
                break;
            }
            contents.serial = QUrl::fromPercentEncoding(fields[2]);
            continue;
        }
        const auto edit = checked ? parseEdit(fields) : std::nullopt;
        if (!edit) {
            contents.problem = QStringLiteral("line %1 is damaged; the %2 edits before it are kept")
                                   .arg(lineNumber)
                                   .arg(contents.edits.size());
            break;
        }
        contents.edits << *edit;
    }
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
            wire[static_cast<size_t>(e.setupId)] =
                static_cast<std::uint8_t>(static_cast<int>(e.newValue) + 1);
            continue;
        }
        const MapInfo& info = mapInfo(e.map);
        const size_t at = static_cast<size_t>(info.imageOffset + e.point - 1);
        wire[at] = static_cast<std::uint8_t>(CalibrationEditor::mapPointByte(e.map, e.newValue) + 1);
    }
}
