#include "calibration/SettingsFile.h"

#include <QByteArrayView>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace {

constexpr char kVersionSection[] = "#EMU Version";
constexpr char kVehicleSection[] = "#VehicleInfo";
constexpr char kTableSection[] = "#Table";
constexpr char kEndLine[] = "#EOF";
constexpr char kCrLf[] = "\r\n";
constexpr char kFieldSeparator = '~';
constexpr int kVersionChars = 8;
constexpr int kImagePositionsFromUnit = kImageReplySize; // position 481 is always written as 0

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool identityFits(const EmuIdentity& id) {
    const auto& b = id.bytes;
    return b[0] <= 9 && b[1] <= 9 && b[2] <= 99 && b[3] <= 9;
}

QByteArray versionLine(const EmuIdentity& id) {
    const auto& b = id.bytes;
    QByteArray line;
    line += QByteArray::number(b[0]);
    line += QByteArray::number(b[1]);
    line += QByteArray::number(b[2]).rightJustified(2, '0');
    line += QByteArray::number(b[3]);
    line += QByteArray::number(b[4] % 10);
    line += "44";
    return line;
}

// A decimal integer stored as its low 8 bits; false when the text is not one.
bool parseByte(QByteArrayView text, std::uint8_t& out) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    bool negative = false;
    if (begin < end && (text[begin] == '+' || text[begin] == '-')) {
        negative = text[begin] == '-';
        ++begin;
    }
    if (begin == end)
        return false;
    unsigned value = 0; // the number modulo 256, digit by digit, so any length is exact
    for (qsizetype i = begin; i < end; ++i) {
        if (!isDigit(text[i]))
            return false;
        value = (value * 10 + static_cast<unsigned>(text[i] - '0')) & 0xFFu;
    }
    out = static_cast<std::uint8_t>(negative ? (256u - value) & 0xFFu : value);
    return true;
}

std::optional<EmuIdentity> parseVersion(QByteArrayView line) {
    std::array<char, kVersionChars> c{}; // missing characters count as zero bytes
    std::copy_n(line.begin(), std::min<qsizetype>(line.size(), kVersionChars), c.begin());
    if (c[7] != '4') {
        // The older form: the release number had one digit and byte 4 was not stored.
        c[7] = '4';
        c[3] = c[2];
        c[2] = '0';
        c[5] = '1';
    }
    if (!std::all_of(c.begin(), c.end(), isDigit))
        return std::nullopt;
    if (c[6] != '4') // the signature of a file identity is "44"; never let a file pose as a live unit
        return std::nullopt;
    auto d = [&c](int i) { return static_cast<std::uint8_t>(c[i] - '0'); };
    EmuIdentity id;
    id.bytes = {d(0), d(1), static_cast<std::uint8_t>(d(2) * 10 + d(3)), d(4), d(5), d(6), d(7), 0};
    return id;
}

VehicleInfo parseVehicle(QByteArrayView line) {
    const QByteArrayView used =
        line.first(std::min<qsizetype>(line.size(), SettingsFile::kVehicleLineMaxLength));
    std::array<QByteArray, 3> fields;
    int field = 0;
    for (char ch : used) {
        if (ch == kFieldSeparator) {
            if (++field == 3)
                break;
            continue;
        }
        fields[field] += ch;
    }
    return {QString::fromLatin1(fields[0]), QString::fromLatin1(fields[1]), QString::fromLatin1(fields[2])};
}

QByteArray vehicleLine(const VehicleInfo& v) {
    QByteArray line;
    for (const QString* field : {&v.make, &v.model, &v.engine}) {
        line += field->toLatin1();
        line += kFieldSeparator;
    }
    return line;
}

bool parseTable(QByteArrayView line, std::array<std::uint8_t, SettingsFile::kTablePositions>& image) {
    int slot = 0; // 0-based: slot n + 1 of the format, image position n
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size() && slot < SettingsFile::kTablePositions; ++i) {
        const char ch = line[i];
        if (ch == ';')
            break;
        if (ch != ',')
            continue;
        if (!parseByte(line.sliced(start, i - start), image[slot]))
            return false;
        ++slot;
        start = i + 1;
    }
    return slot == SettingsFile::kTablePositions;
}

} // namespace

namespace SettingsFile {

bool isValidVehicleText(const QString& text) {
    return std::none_of(text.begin(), text.end(), [](QChar ch) {
        return ch == QLatin1Char(kFieldSeparator) || ch == QLatin1Char('\r') || ch == QLatin1Char('\n') ||
               ch.unicode() > 0xFF;
    });
}

QString refusalReason(const EmuIdentity& identity, const VehicleInfo& vehicle) {
    if (!isValidVehicleText(vehicle.make) || !isValidVehicleText(vehicle.model) ||
        !isValidVehicleText(vehicle.engine))
        return QStringLiteral("The vehicle texts may not contain \"~\", line breaks or characters outside "
                              "Latin-1.");
    // The reader uses only the start of the line: it must give the three texts back.
    if (!(parseVehicle(vehicleLine(vehicle)) == vehicle))
        return QStringLiteral("The vehicle texts are too long: make, model and engine type, with a separator "
                              "after each, must fit in %1 characters.")
            .arg(kVehicleLineMaxLength);
    if (!identityFits(identity))
        return QStringLiteral("The EMU identity cannot be stored in a settings file.");
    return {};
}

QByteArray write(const EmuIdentity& identity, const VehicleInfo& vehicle, const std::uint8_t* imageWire,
                 int count) {
    if (!refusalReason(identity, vehicle).isEmpty())
        return {};
    count = imageWire ? std::clamp(count, 0, kImagePositionsFromUnit) : 0;

    QByteArray out;
    out.reserve(2200);
    out += kVersionSection;
    out += kCrLf;
    out += versionLine(identity);
    out += kCrLf;
    out += kVehicleSection;
    out += kCrLf;
    out += vehicleLine(vehicle);
    out += kCrLf;
    out += kTableSection;
    out += kCrLf;
    for (int p = 0; p < kTablePositions; ++p) {
        out += QByteArray::number(p < count ? imageWire[p] : 0);
        out += ',';
    }
    out += ';';
    out += kCrLf;
    out += kEndLine;
    out += kCrLf;
    return out;
}

std::optional<SettingsFileContents> read(const QByteArray& text) {
    QByteArrayView rest(text);
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);

    enum class Section { None, Version, Vehicle, Table };
    Section pending = Section::None;
    bool hasVersion = false;
    QByteArrayView version;
    QByteArrayView vehicle;
    QByteArrayView table;

    auto take = [&](QByteArrayView line) {
        switch (pending) {
        case Section::Version:
            version = line;
            hasVersion = true;
            break;
        case Section::Vehicle:
            vehicle = line;
            break;
        case Section::Table:
            table = line;
            break;
        case Section::None:
            if (line == QByteArrayView(kVersionSection))
                pending = Section::Version;
            else if (line == QByteArrayView(kVehicleSection))
                pending = Section::Vehicle;
            else if (line == QByteArrayView(kTableSection))
                pending = Section::Table;
            return;
        }
        pending = Section::None;
    };

    while (!rest.isEmpty()) {
        qsizetype end = 0;
        while (end < rest.size() && rest[end] != '\n' && rest[end] != '\r')
            ++end;
        const QByteArrayView line = rest.first(end);
        qsizetype next = end + 1;
        if (end < rest.size() && rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n')
            ++next;
        rest = next < rest.size() ? rest.sliced(next) : QByteArrayView();
        take(line);
    }
    if (pending != Section::None) // a section line at the very end has an empty text
        take(QByteArrayView());

    if (!hasVersion)
        return std::nullopt;
    const std::optional<EmuIdentity> identity = parseVersion(version);
    if (!identity)
        return std::nullopt;

    SettingsFileContents contents;
    contents.identity = *identity;
    if (!parseTable(table, contents.image))
        return std::nullopt;
    contents.vehicle = parseVehicle(vehicle);
    return contents;
}

bool saveToFile(const QString& path, const QByteArray& contents, QString* errorText) {
    auto fail = [errorText, &path](const QString& why) {
        if (errorText)
            *errorText = path + QStringLiteral(": ") + why;
        return false;
    };
    if (contents.isEmpty())
        return fail(QStringLiteral("Nothing to save."));
    // The save replaces the file whole; a device node or a pipe is never replaced by a file.
    // A symbolic link to a regular file is followed.
    if (const QFileInfo target(path); target.exists() && !target.isFile())
        return fail(QStringLiteral("not a regular file; nothing was saved."));
    QSaveFile file(path);
    // Unbuffered, and written on until all is out: a buffered QSaveFile takes a short write (a full
    // disk) as success and commits a cut file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    for (qsizetype done = 0; done < contents.size();) {
        const qint64 n = file.write(contents.constData() + done, contents.size() - done);
        if (n <= 0) {
            const QString why = file.errorString();
            file.cancelWriting();
            return fail(why);
        }
        done += n;
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

std::optional<QByteArray> loadFromFile(const QString& path, QString* errorText) {
    auto fail = [errorText, &path](const QString& why) -> std::optional<QByteArray> {
        if (errorText)
            *errorText = path + QStringLiteral(": ") + why;
        return std::nullopt;
    };
    // Opening a pipe would wait for a writer for ever; a device is no settings file.
    if (const QFileInfo source(path); source.exists() && !source.isFile())
        return fail(QStringLiteral("not a regular file."));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    // Read by a bounded count: a device or a pipe reports no size and may never end.
    QByteArray text;
    while (text.size() <= kMaxFileSize) {
        const QByteArray chunk = file.read(kMaxFileSize + 1 - text.size());
        if (chunk.isEmpty())
            break;
        text += chunk;
    }
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    if (text.size() > kMaxFileSize)
        return fail(QStringLiteral("The file is too large to be a settings file."));
    return text;
}

} // namespace SettingsFile
