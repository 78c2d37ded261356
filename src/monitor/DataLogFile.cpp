#include "monitor/DataLogFile.h"

#include <QFileInfo>
#include <QSaveFile>

#include <charconv>
#include <cmath>
#include <limits>

namespace {

constexpr char kTimeName[] = "Time";
constexpr char kSampleName[] = "Sample";
constexpr char kMarkerName[] = "Marker";
constexpr int kColumns = LogChannels::kCount + 3;

char separator(DataLogFile::Format f) {
    return f == DataLogFile::Format::Msl ? '\t' : ',';
}

QByteArray csvName(const char* name, const char* unit) {
    return QByteArray(name) + " (" + unit + ')';
}

QByteArray number(float v) {
    if (std::isnan(v))
        return {};
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v); // shortest text that reads back the same
    return QByteArray(buf, static_cast<qsizetype>(r.ptr - buf));
}

QByteArray seconds(std::int32_t ms) {
    QByteArray t = QByteArray::number(ms / 1000);
    const int frac = ms % 1000;
    t += '.';
    t += QByteArray::number(frac).rightJustified(3, '0');
    return t;
}

QByteArray markerText(const LogMarker* m) {
    if (!m)
        return {};
    QByteArray t = QByteArray::number(m->number);
    const QString note = DataLog::cleanNote(m->note);
    if (!note.isEmpty())
        t += ' ' + note.toUtf8();
    return t;
}

QList<QByteArray> namesRow(DataLogFile::Format f) {
    QList<QByteArray> names;
    const bool csv = f == DataLogFile::Format::Csv;
    names << (csv ? csvName(kTimeName, "s") : QByteArray(kTimeName));
    names << QByteArray(kSampleName);
    for (int c = 0; c < LogChannels::kCount; ++c) {
        const LogChannel& ch = LogChannels::at(c);
        names << (csv ? csvName(ch.name, ch.unit) : QByteArray(ch.name));
    }
    names << QByteArray(kMarkerName);
    return names;
}

QList<QByteArray> unitsRow() {
    QList<QByteArray> units{"s", "#"};
    for (int c = 0; c < LogChannels::kCount; ++c)
        units << QByteArray(LogChannels::at(c).unit);
    units << QByteArray("#");
    return units;
}

bool parseFloat(const QByteArray& field, float& out) {
    if (field.isEmpty()) {
        out = std::numeric_limits<float>::quiet_NaN();
        return true;
    }
    const char* b = field.constData();
    const char* e = b + field.size();
    const auto r = std::from_chars(b, e, out);
    return r.ec == std::errc() && r.ptr == e && std::isfinite(out);
}

bool parseTime(const QByteArray& field, std::int32_t& ms) {
    double s = 0;
    const char* b = field.constData();
    const char* e = b + field.size();
    const auto r = std::from_chars(b, e, s, std::chars_format::fixed);
    if (field.isEmpty() || r.ec != std::errc() || r.ptr != e || !std::isfinite(s) || s < 0 || s > 2.0e6)
        return false;
    ms = static_cast<std::int32_t>(std::llround(s * 1000));
    return true;
}

bool parseUnsigned(const QByteArray& field, std::uint32_t& out) {
    const char* b = field.constData();
    const char* e = b + field.size();
    const auto r = std::from_chars(b, e, out);
    return !field.isEmpty() && r.ec == std::errc() && r.ptr == e;
}

// "3" or "3 note": the marker's number and note.
bool parseMarker(const QByteArray& field, int& number, QString& note) {
    const qsizetype space = field.indexOf(' ');
    const QByteArray digits = space < 0 ? field : field.left(space);
    std::uint32_t n = 0;
    if (!parseUnsigned(digits, n) || n == 0 || n > 1000000)
        return false;
    number = static_cast<int>(n);
    // Kept as the log keeps a note, so what is read is what would be written.
    note = space < 0 ? QString() : DataLog::cleanNote(QString::fromUtf8(field.mid(space + 1)));
    return true;
}

QString lineText(int line) {
    return QStringLiteral("line %1").arg(line);
}

} // namespace

namespace DataLogFile {

Format formatFor(const QString& path) {
    return QFileInfo(path).suffix().compare(QLatin1String("msl"), Qt::CaseInsensitive) == 0 ? Format::Msl
                                                                                            : Format::Csv;
}

QString suffix(Format format) {
    return format == Format::Msl ? QStringLiteral("msl") : QStringLiteral("csv");
}

QByteArray header(Format format) {
    const char sep = separator(format);
    QByteArray h = namesRow(format).join(sep) + '\n';
    if (format == Format::Msl)
        h += unitsRow().join(sep) + '\n';
    return h;
}

QByteArray row(Format format, const LogSample& s, const LogMarker* marker) {
    const char sep = separator(format);
    QByteArray r;
    r.reserve(128);
    r += seconds(s.timeMs);
    r += sep;
    r += QByteArray::number(s.sample);
    for (float v : s.values) {
        r += sep;
        r += number(v);
    }
    r += sep;
    r += markerText(marker);
    r += '\n';
    return r;
}

QByteArray text(Format format, const DataLog& log) {
    QByteArray t = header(format);
    size_t next = 0; // markers are in row order
    const auto& markers = log.markers();
    for (std::int64_t i = 0; i < log.size(); ++i) {
        const LogMarker* m = nullptr;
        if (next < markers.size() && markers[next].row == i)
            m = &markers[next++];
        t += row(format, log.sample(i), m);
    }
    return t;
}

ReadResult read(const QByteArray& bytes) {
    ReadResult result;
    qsizetype pos = 0;
    int line = 0;
    bool cut = false;
    // The next line without its end; cut when the file ends without one.
    const auto nextLine = [&](QByteArray& out) {
        if (pos >= bytes.size())
            return false;
        qsizetype end = bytes.indexOf('\n', pos);
        cut = end < 0;
        if (end < 0)
            end = bytes.size();
        out = bytes.mid(pos, end - pos);
        if (out.endsWith('\r'))
            out.chop(1);
        pos = end + 1;
        ++line;
        return true;
    };

    QByteArray first;
    if (!nextLine(first)) {
        result.error = QStringLiteral("The file is empty: it is not a data log.");
        return result;
    }
    if (first.startsWith("\xEF\xBB\xBF"))
        first.remove(0, 3);
    const Format format = first.contains('\t') ? Format::Msl : Format::Csv;
    const char sep = separator(format);
    if (first.split(sep) != namesRow(format) || cut) {
        result.error = QStringLiteral("The file is not a data log of this program: its first line is not the "
                                      "log's header.");
        return result;
    }
    if (format == Format::Msl) {
        QByteArray units;
        if (!nextLine(units) || units.split(sep) != unitsRow() || cut) {
            result.error =
                QStringLiteral("The file is not a data log of this program: its second line is not "
                               "the row of units.");
            return result;
        }
    }
    result.ok = true;
    result.format = format;

    DataLog& log = result.log;
    QByteArray text;
    const auto bad = [&](const QString& why) {
        result.badLine = line;
        result.warning = lineText(line) + QStringLiteral(": ") + why;
    };
    while (nextLine(text)) {
        if (cut) {
            bad(QStringLiteral("the row is cut short (the recording ended in the middle of it); the rows "
                               "before it are kept."));
            break;
        }
        if (text.isEmpty() && pos >= bytes.size())
            break;
        const QList<QByteArray> fields = text.split(sep);
        if (fields.size() != kColumns) {
            bad(QStringLiteral("%1 fields where a row has %2; the rows before it are kept.")
                    .arg(fields.size())
                    .arg(kColumns));
            break;
        }
        LogSample s;
        if (!parseTime(fields[0], s.timeMs)) {
            bad(QStringLiteral("the time \"%1\" is not a number of seconds; the rows before it are kept.")
                    .arg(QString::fromUtf8(fields[0].left(20))));
            break;
        }
        if (!log.empty() && s.timeMs < log.timeMs(log.size() - 1)) {
            bad(QStringLiteral("the time goes back; the rows before it are kept."));
            break;
        }
        if (!parseUnsigned(fields[1], s.sample)) {
            bad(QStringLiteral("the sample number is not a whole number; the rows before it are kept."));
            break;
        }
        int failed = -1;
        for (int c = 0; c < LogChannels::kCount && failed < 0; ++c)
            if (!parseFloat(fields[c + 2], s.values[static_cast<size_t>(c)]))
                failed = c;
        if (failed >= 0) {
            bad(QStringLiteral("the %1 value is not a number; the rows before it are kept.")
                    .arg(QString::fromUtf8(LogChannels::at(failed).name)));
            break;
        }
        const QByteArray& markerField = fields[kColumns - 1];
        LogMarker marker;
        if (!markerField.isEmpty() && !parseMarker(markerField, marker.number, marker.note)) {
            bad(QStringLiteral(
                "the marker is not a number with an optional note; the rows before it are kept."));
            break;
        }
        log.append(s);
        if (!markerField.isEmpty()) {
            marker.row = log.size() - 1;
            log.addMarker(marker);
        }
    }
    return result;
}

ReadResult readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        ReadResult r;
        r.error = QStringLiteral("The file cannot be read: %1").arg(f.errorString());
        return r;
    }
    return read(f.readAll());
}

QString save(const DataLog& log, const QString& path, Format format) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return f.errorString();
    f.write(text(format, log));
    if (!f.commit())
        return f.errorString();
    return {};
}

} // namespace DataLogFile

QString DataLogWriter::open(const QString& path, DataLogFile::Format format) {
    close();
    error_.clear();
    format_ = format;
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        error_ = file_.errorString();
        return error_;
    }
    const QByteArray h = DataLogFile::header(format);
    if (file_.write(h) != h.size()) {
        error_ = file_.errorString();
        file_.close();
    }
    return error_;
}

bool DataLogWriter::append(const LogSample& sample, const LogMarker* marker) {
    if (!file_.isOpen())
        return false;
    const QByteArray r = DataLogFile::row(format_, sample, marker);
    if (file_.write(r) == r.size())
        return true;
    error_ = file_.errorString();
    file_.close();
    return false;
}

void DataLogWriter::close() {
    if (file_.isOpen())
        file_.close();
}
