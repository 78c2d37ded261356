#include "EmuCli.h"

#include "calibration/CalibrationData.h"
#include "calibration/CalibrationTransfer.h"
#include "calibration/SettingsFile.h"
#include "link/EmuProtocol.h"
#include "link/PortNaming.h"
#include "link/TQCCom32.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <functional>
#include <optional>

namespace {

constexpr int kOk = 0;
constexpr int kFault = 1;
constexpr int kUsage = 2;

const char* const kTopUsage =
    "Usage: emu-cli <command> [options]\n"
    "\n"
    "Commands:\n"
    "  identify   ask the unit who it is\n"
    "  read       save the unit's calibration to a .EMU file\n"
    "  write      write a .EMU file's calibration to the unit\n"
    "  show       print a .EMU file's contents\n"
    "\n"
    "The unit is on --port N (Com N, numbered as the program numbers serial\n"
    "devices, or as EMU_PORTS lists them) or --device PATH.\n"
    "Run 'emu-cli <command> --help' for a command's options, 'emu-cli --version' for the version.\n";

struct UsageError {
    QString text;
};

// Parses a sub-command's options; --help prints the parser's help text.
struct Parsed {
    bool help = false;
    std::optional<UsageError> error;
};

Parsed parse(QCommandLineParser& parser, const QString& command, const QStringList& args) {
    parser.setApplicationDescription(command);
    parser.addHelpOption();
    Parsed result;
    if (!parser.parse(QStringList{QStringLiteral("emu-cli ") + command} + args)) {
        result.error = UsageError{parser.errorText()};
        return result;
    }
    result.help = parser.isSet(QStringLiteral("help"));
    return result;
}

// The parser's help, with the sub-command in its usage line and without Qt's own --help-all.
QString commandHelp(const QCommandLineParser& parser, const QString& command) {
    QStringList lines = parser.helpText().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.first().startsWith(QLatin1String("Usage: "))) {
        QString usage = lines.first();
        const qsizetype options = usage.indexOf(QLatin1String(" [options]"));
        if (options >= 0)
            usage = QStringLiteral("Usage: emu-cli ") + command + usage.mid(options);
        lines.first() = usage;
    }
    lines.removeIf(
        [](const QString& line) { return line.trimmed().startsWith(QLatin1String("--help-all")); });
    // The description line only repeats the command's name.
    if (lines.size() > 1 && lines.at(1).trimmed() == command)
        lines.removeAt(1);
    return lines.join(QLatin1Char('\n'));
}

void addPortOptions(QCommandLineParser& parser) {
    parser.addOption(
        {QStringLiteral("port"), QStringLiteral("Serial port number (Com N)."), QStringLiteral("N")});
    parser.addOption(
        {QStringLiteral("device"), QStringLiteral("Serial device path."), QStringLiteral("PATH")});
}

// Points the transport at the chosen port. Returns an error text for wrong usage.
std::optional<QString> choosePort(const QCommandLineParser& parser, TQCCom32& port) {
    const bool hasPort = parser.isSet(QStringLiteral("port"));
    const bool hasDevice = parser.isSet(QStringLiteral("device"));
    if (hasPort == hasDevice)
        return QStringLiteral("give exactly one of --port N and --device PATH");
    if (hasDevice) {
        // A device path is used as Com1 of an explicit port list.
        qputenv("EMU_PORTS", parser.value(QStringLiteral("device")).toLocal8Bit());
        port.setPort(1);
        return std::nullopt;
    }
    bool ok = false;
    const int n = parser.value(QStringLiteral("port")).toInt(&ok);
    if (!ok || n < PortNaming::kFirstPort || n > PortNaming::kLastPort)
        return QStringLiteral("--port takes a number from 1 to 20");
    port.setPort(n);
    return std::nullopt;
}

QString openFailureText(const TQCCom32& port) {
    const QString device =
        port.LastOpenDevice().isEmpty() ? PortNaming::portName(port.Port()) : port.LastOpenDevice();
    switch (port.LastOpenError()) {
    case TQCCom32::OpenError::PermissionDenied:
        return QStringLiteral("cannot open %1: permission denied (join the dialout group and log in again)")
            .arg(device);
    case TQCCom32::OpenError::Busy:
        return QStringLiteral("cannot open %1: another program is using it").arg(device);
    case TQCCom32::OpenError::NoDevice:
        return QStringLiteral("no serial device at %1").arg(device);
    default:
        return QStringLiteral("cannot open %1").arg(device);
    }
}

void configure(TQCCom32& port) {
    port.setShowErrors(false);
    port.setBaud(19200);
    port.setHandshaking(TQCCom32::hsNone);
    port.setResponseTime(100);
}

// Opens the port and identifies the unit; on failure errorText holds the one-line reason.
std::optional<EmuIdentity> identifyUnit(TQCCom32& port, EmuProtocol& protocol, QString* errorText) {
    if (!port.Open()) {
        *errorText = openFailureText(port);
        return std::nullopt;
    }
    const EmuIdentity identity = EmuIdentity::fromReply(protocol.identify(EmuPause::kIdentifyConnect));
    if (!identity.isLiveUnit()) {
        *errorText = QStringLiteral("no EMU answered on %1").arg(port.DevicePath());
        return std::nullopt;
    }
    return identity;
}

bool firmwareMatches(const EmuIdentity& identity) {
    bool ok = false;
    const double version = QLocale::c().toDouble(identity.firmwareVersionText(), &ok);
    return ok && qFuzzyCompare(version, kSoftwareFirmwareVersion);
}

QString typeText(int model) {
    const QString text = EmuIdentity::connectTypeText(model);
    return text.isEmpty() ? QStringLiteral("unknown") : text;
}

struct SetupField {
    int offset;
    const char* name;
    std::function<QString(int plain)> decode;
};

QString plainText(int plain) {
    return QString::number(plain);
}

// Setup bytes whose meaning the calibration relies on.
const std::vector<SetupField>& knownSetupFields() {
    static const std::vector<SetupField> fields{
        {0, "Timing Sensor °BTDC", plainText},
        {1, "Gear Teeth", plainText},
        {2, "Idle Jet Trim", plainText},
        {3, "Main Jet Trim", plainText},
        {51, "Trailing Degrees", plainText},
        {80, "Cylinders", plainText},
        {81, "RPM Range",
         [](int p) { return QString::number(p == 0 ? kDefaultRpmRange : p * 100) + " RPM"; }},
        {82, "Coil Time (ms)", [](int p) { return QString::number(p / 2.0, 'f', 1) + " ms"; }},
        {83, "Map Sensor (kPa x10)", plainText},
        {84, "RPM Limiter", [](int p) { return QString::number(p * 100) + " RPM"; }},
        {94, "Serial number 1", plainText},
        {95, "Serial number 2", plainText},
        {96, "Serial number 3", plainText},
        {97, "Serial number H/W", plainText},
        {98, "Serial letter 1", [](int p) { return QString(QChar(p)); }},
        {99, "Serial letter 2", [](int p) { return QString(QChar(p)); }},
    };
    return fields;
}

const SetupField* knownSetupField(int offset) {
    for (const SetupField& f : knownSetupFields())
        if (f.offset == offset)
            return &f;
    return nullptr;
}

// Fills a calibration from a file's contents, as the program does when a file is opened.
void loadCalibration(CalibrationData& data, const SettingsFileContents& contents, int model) {
    CalibrationTransfer::loadFileContents(data, contents);
    CalibrationTransfer::storeSetupBlock(
        data, QByteArray(reinterpret_cast<const char*>(data.ReceivedImage.data()), kSetupBlockSize));
    setFamiliesForModel(data, model);
    deriveSetupValues(data);
    decodeImage(data);
}

} // namespace

std::optional<SettingsFileContents> EmuCli::openSettingsFile(const QString& path) {
    QString error;
    const std::optional<QByteArray> text = SettingsFile::loadFromFile(path, &error);
    if (!text) {
        err_ << "emu-cli: " << error << "\n";
        return std::nullopt;
    }
    std::optional<SettingsFileContents> contents = SettingsFile::read(*text);
    if (!contents)
        err_ << "emu-cli: " << path << ": " << SettingsFile::kRejectedText << "\n";
    return contents;
}

int EmuCli::run(const QStringList& args) {
    if (args.isEmpty()) {
        err_ << kTopUsage;
        return kUsage;
    }
    const QString command = args.first();
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        out_ << kTopUsage;
        return kOk;
    }
    if (command == QLatin1String("--version") || command == QLatin1String("-v") ||
        command == QLatin1String("version")) {
        out_ << "emu-cli " << EMU_VERSION << "\n";
        return kOk;
    }
    if (command == QLatin1String("identify"))
        return identify(rest);
    if (command == QLatin1String("read"))
        return read(rest);
    if (command == QLatin1String("write"))
        return write(rest);
    if (command == QLatin1String("show"))
        return show(rest);
    err_ << "emu-cli: unknown command '" << command << "'\n" << kTopUsage;
    return kUsage;
}

std::optional<int> EmuCli::parseArguments(QCommandLineParser& parser, const QString& command,
                                          const QStringList& args, int positionalCount,
                                          const QString& missing) {
    const Parsed parsed = parse(parser, command, args);
    if (parsed.help) {
        out_ << commandHelp(parser, command);
        return kOk;
    }
    QString problem;
    if (parsed.error)
        problem = parsed.error->text;
    else if (parser.positionalArguments().size() != positionalCount)
        problem = positionalCount == 0 ? QStringLiteral("unexpected argument") : missing;
    if (problem.isEmpty())
        return std::nullopt;
    err_ << "emu-cli " << command << ": " << problem << "\n";
    return kUsage;
}

std::optional<int> EmuCli::connectUnit(const QCommandLineParser& parser, const QString& command, Unit& unit) {
    configure(unit.port);
    if (const auto usage = choosePort(parser, unit.port)) {
        err_ << "emu-cli " << command << ": " << *usage << "\n";
        return kUsage;
    }
    QString error;
    const std::optional<EmuIdentity> identity = identifyUnit(unit.port, unit.protocol, &error);
    if (!identity) {
        err_ << "emu-cli: " << error << "\n";
        return kFault;
    }
    unit.identity = *identity;
    return std::nullopt;
}

int EmuCli::identify(const QStringList& args) {
    QCommandLineParser parser;
    addPortOptions(parser);
    if (const auto status = parseArguments(parser, QStringLiteral("identify"), args, 0, {}))
        return *status;
    Unit unit;
    if (const auto status = connectUnit(parser, QStringLiteral("identify"), unit))
        return *status;
    const EmuIdentity& id = unit.identity;
    out_ << "Model: " << id.model() << "\n"
         << "Type: " << typeText(id.model()) << "\n"
         << "Firmware version: " << id.firmwareVersionText() << "\n"
         << "Release letter: " << (id.releaseLetter().isEmpty() ? QStringLiteral("none") : id.releaseLetter())
         << "\n"
         << "Signature: " << id.signature() << "\n";
    return kOk;
}

int EmuCli::read(const QStringList& args) {
    QCommandLineParser parser;
    addPortOptions(parser);
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                      QStringLiteral("The .EMU file to write."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("make"), QStringLiteral("Vehicle make."), QStringLiteral("TEXT")});
    parser.addOption({QStringLiteral("model"), QStringLiteral("Vehicle model."), QStringLiteral("TEXT")});
    parser.addOption({QStringLiteral("engine"), QStringLiteral("Engine type."), QStringLiteral("TEXT")});
    if (const auto status = parseArguments(parser, QStringLiteral("read"), args, 0, {}))
        return *status;
    if (!parser.isSet(QStringLiteral("output"))) {
        err_ << "emu-cli read: give the output file with -o FILE.emu\n";
        return kUsage;
    }
    const VehicleInfo vehicle{parser.value(QStringLiteral("make")), parser.value(QStringLiteral("model")),
                              parser.value(QStringLiteral("engine"))};
    // Vehicle texts the file cannot hold are wrong usage, found before the unit is asked anything.
    EmuIdentity typical;
    typical.bytes = {1, 3, 13, 1, 1, 4, 4, 0};
    if (const QString reason = SettingsFile::refusalReason(typical, vehicle); !reason.isEmpty()) {
        err_ << "emu-cli read: " << reason << "\n";
        return kUsage;
    }
    Unit unit;
    if (const auto status = connectUnit(parser, QStringLiteral("read"), unit))
        return *status;
    QString error;
    const auto image = CalibrationTransfer::imageFromUnit(unit.protocol, &error);
    if (!image) {
        err_ << "emu-cli: " << error << "\n";
        return kFault;
    }
    if (const QString reason = SettingsFile::refusalReason(unit.identity, vehicle); !reason.isEmpty()) {
        err_ << "emu-cli read: " << reason << "\n";
        return kFault;
    }
    const QString path = parser.value(QStringLiteral("output"));
    if (!SettingsFile::saveToFile(path, SettingsFile::write(unit.identity, vehicle, image->data()), &error)) {
        err_ << "emu-cli: " << error << "\n";
        return kFault;
    }
    out_ << "Saved the calibration of EMU " << unit.identity.model() << " v"
         << unit.identity.firmwareVersionText() << " to " << path << "\n";
    return kOk;
}

int EmuCli::write(const QStringList& args) {
    QCommandLineParser parser;
    addPortOptions(parser);
    parser.addOption({QStringLiteral("force"),
                      QStringLiteral("Write even when the unit's model differs from the file's.")});
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("The .EMU file to write to the unit."));
    if (const auto status =
            parseArguments(parser, QStringLiteral("write"), args, 1, QStringLiteral("give one .EMU file")))
        return *status;
    const QString path = parser.positionalArguments().first();
    const std::optional<SettingsFileContents> contents = openSettingsFile(path);
    if (!contents)
        return kFault;
    Unit unit;
    if (const auto status = connectUnit(parser, QStringLiteral("write"), unit))
        return *status;
    const EmuIdentity& id = unit.identity;
    if (!firmwareMatches(id)) {
        err_ << "emu-cli: the EMU has firmware " << id.firmwareVersionText()
             << "; this software writes to 1.13 only\n";
        return kFault;
    }
    const int fileModel = contents->identity.model();
    if (id.model() != fileModel && !parser.isSet(QStringLiteral("force"))) {
        err_ << "emu-cli: the EMU is model " << id.model() << " but the file is for model " << fileModel
             << " (use --force to write anyway)\n";
        return kFault;
    }
    CalibrationData data;
    loadCalibration(data, *contents, id.model());
    buildImage(data);
    if (!unit.protocol.writeImage(data.PlainImageText)) {
        err_ << "emu-cli: writing to " << unit.port.DevicePath()
             << " failed; the EMU does not hold the file's data\n";
        return kFault;
    }
    out_ << "Wrote " << path << " to EMU " << id.model() << " on " << unit.port.DevicePath() << "\n";
    return kOk;
}

int EmuCli::show(const QStringList& args) {
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("json"), QStringLiteral("Print JSON.")});
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The .EMU file to show."));
    if (const auto status =
            parseArguments(parser, QStringLiteral("show"), args, 1, QStringLiteral("give one .EMU file")))
        return *status;
    const QString path = parser.positionalArguments().first();
    const std::optional<SettingsFileContents> contents = openSettingsFile(path);
    if (!contents)
        return kFault;
    const EmuIdentity& id = contents->identity;
    CalibrationData data;
    loadCalibration(data, *contents, id.model());
    if (!data.HasTimingMaps && !data.HasVacuumMap && !data.HasFuelMaps) {
        // An unknown model: show every region.
        data.HasTimingMaps = data.HasVacuumMap = data.HasFuelMaps = true;
        decodeImage(data);
    }

    QJsonObject identity{{"model", id.model()},
                         {"type", typeText(id.model())},
                         {"firmwareVersion", id.firmwareVersionText()},
                         {"releaseLetter", id.releaseLetter()},
                         {"signature", id.signature()}};
    QJsonObject vehicle{{"make", contents->vehicle.make},
                        {"model", contents->vehicle.model},
                        {"engine", contents->vehicle.engine}};
    QJsonArray setup;
    for (int k = 0; k < kSetupBlockSize; ++k) {
        const int wire = contents->image[k];
        QJsonObject row{{"offset", k}, {"wire", wire}};
        if (wire == 255) {
            row["present"] = false;
        } else {
            const int plain = (wire - 1) & 0xFF;
            row["value"] = plain;
            if (const SetupField* f = knownSetupField(k)) {
                row["name"] = QString::fromUtf8(f->name);
                row["decoded"] = f->decode(plain);
            }
        }
        setup.append(row);
    }
    QJsonObject maps;
    for (const MapInfo& info : mapTable()) {
        if (!data.hasFamily(info.family))
            continue;
        QJsonArray points;
        const int shown = mapShownPoints(info.id, data.scales());
        for (int i = 1; i <= shown; ++i)
            points.append(QJsonObject{
                {"point", i}, {"x", mapPointX(info.id, i, data.scales())}, {"value", data.map(info.id)[i]}});
        maps[QString::fromLatin1(info.name)] = points;
    }

    if (parser.isSet(QStringLiteral("json"))) {
        const QJsonObject doc{{"identity", identity}, {"vehicle", vehicle}, {"setup", setup}, {"maps", maps}};
        out_ << QJsonDocument(doc).toJson(QJsonDocument::Indented);
        return kOk;
    }

    out_ << "File: " << path << "\n"
         << "Model: " << id.model() << " (" << typeText(id.model()) << ")\n"
         << "Firmware version: " << id.firmwareVersionText() << "\n"
         << "Release letter: " << (id.releaseLetter().isEmpty() ? QStringLiteral("none") : id.releaseLetter())
         << "\n"
         << "Signature: " << id.signature() << "\n"
         << "Vehicle make: " << contents->vehicle.make << "\n"
         << "Vehicle model: " << contents->vehicle.model << "\n"
         << "Engine type: " << contents->vehicle.engine << "\n\nSetup bytes (offset: wire byte = value)\n";
    for (const QJsonValue& v : setup) {
        const QJsonObject row = v.toObject();
        out_ << QString::number(row["offset"].toInt()).rightJustified(3) << ": " << row["wire"].toInt();
        if (!row["present"].toBool(true))
            out_ << " = not present";
        else
            out_ << " = " << row["value"].toInt();
        if (row.contains("name"))
            out_ << "  " << row["name"].toString() << " " << row["decoded"].toString();
        out_ << "\n";
    }
    for (const MapInfo& info : mapTable()) {
        const QString name = QString::fromLatin1(info.name);
        if (!maps.contains(name))
            continue;
        out_ << "\n" << name << " (point: x = value)\n";
        for (const QJsonValue& v : maps[name].toArray()) {
            const QJsonObject p = v.toObject();
            out_ << QString::number(p["point"].toInt()).rightJustified(3) << ": " << p["x"].toDouble()
                 << " = " << p["value"].toDouble() << "\n";
        }
    }
    return kOk;
}
