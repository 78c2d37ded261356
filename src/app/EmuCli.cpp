#include "EmuCli.h"
#include "link/ImageLayout.h"

#include "calibration/CalibrationData.h"
#include "calibration/CalibrationTransfer.h"
#include "calibration/EditJournal.h"
#include "calibration/Rounding.h"
#include "calibration/SettingsFile.h"
#include "calibration/SetupFieldText.h"
#include "calibration/SetupParameters.h"
#include "calibration/TuneComparison.h"
#include "link/Connection.h"
#include "link/EmuProtocol.h"
#include "link/PortNaming.h"
#include "link/TQCCom32.h"
#include "mixture/MixtureAnalysis.h"
#include "monitor/DataLog.h"
#include "monitor/DataLogFile.h"
#include "monitor/LinkWatch.h"
#include "monitor/LiveDecode.h"
#include "monitor/MonotonicClock.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <functional>
#include <limits>
#include <optional>
#include <type_traits>

namespace {

constexpr int kOk = 0;
constexpr int kFault = 1;
constexpr int kUsage = 2;

// Runs a link task to its end: the exchanges wait on timers, so the event loop turns until the
// task has delivered its result. Every exchange's waits are bounded, so the task always ends.
template <typename T> T runToEnd(LinkTask<T> task) {
    QEventLoop loop;
    if constexpr (std::is_void_v<T>) {
        std::move(task).then(&loop, [&loop] { loop.quit(); });
        loop.exec();
    } else {
        std::optional<T> result;
        std::move(task).then(&loop, [&loop, &result](T value) {
            result = std::move(value);
            loop.quit();
        });
        loop.exec();
        return std::move(*result);
    }
}

const char* const kTopUsage =
    "Usage: emu-cli <command> [options]\n"
    "\n"
    "Commands:\n"
    "  identify   ask the unit who it is\n"
    "  read       save the unit's calibration to a .EMU file\n"
    "  write      write a .EMU file's calibration to the unit\n"
    "  show       print a .EMU file's contents\n"
    "  live       poll the unit's live data and print it as CSV (or record it: -o FILE)\n"
    "  log        summarise a data log (duration, samples, gaps, markers, each channel)\n"
    "  suggest    mixture suggestions per fuel point from a data log and its tune\n"
    "  journal    list the edit journals, or the edits one holds\n"
    "  diff       compare two tunes (files or units)\n"
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
std::optional<QString> choosePort(const QCommandLineParser& parser, EmuLink& link) {
    const bool hasPort = parser.isSet(QStringLiteral("port"));
    const bool hasDevice = parser.isSet(QStringLiteral("device"));
    if (hasPort == hasDevice)
        return QStringLiteral("give exactly one of --port N and --device PATH");
    if (hasDevice) {
        // Used whole: a by-path name holds ":" and is no port list.
        link.setDevicePath(parser.value(QStringLiteral("device")));
        return std::nullopt;
    }
    bool ok = false;
    const int n = parser.value(QStringLiteral("port")).toInt(&ok);
    if (!ok || n < PortNaming::kFirstPort || n > PortNaming::kLastPort)
        return QStringLiteral("--port takes a number from 1 to 20");
    link.setPort(n);
    return std::nullopt;
}

QString openFailureText(const EmuLink& link) {
    const QString device =
        link.lastOpenDevice().isEmpty() ? PortNaming::portName(link.portNumber()) : link.lastOpenDevice();
    QString text =
        QStringLiteral("cannot open %1: %2").arg(device, Connection::portProblemReason(link.lastOpenError()));
    const QString advice = Connection::portProblemAdvice(link.lastOpenError());
    if (!advice.isEmpty())
        text += QLatin1Char('\n') + advice;
    return text;
}

// Opens the port and identifies the unit; on failure errorText holds the one-line reason.
std::optional<EmuIdentity> identifyUnit(EmuLink& link, QString* errorText) {
    if (!link.open()) {
        *errorText = openFailureText(link);
        return std::nullopt;
    }
    const EmuIdentity identity = runToEnd(link.identify(EmuPause::kIdentifyConnect));
    if (!identity.isLiveUnit()) {
        *errorText = QStringLiteral("no EMU answered on %1").arg(link.devicePath());
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

// Fills a calibration from a file's contents, as the program does when a file is opened.
void loadCalibration(CalibrationData& data, const SettingsFileContents& contents, int model) {
    CalibrationTransfer::loadFileContents(data, contents);
    CalibrationTransfer::storeSetupBlock(
        data, QByteArray(reinterpret_cast<const char*>(data.ReceivedImage.data()), kSetupBlockSize));
    setFamiliesForModel(data, model);
    deriveSetupValues(data);
    decodeImage(data);
}

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) {
    interrupted = true;
}

QString csvNumber(double v) {
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

// A unit's serial text (or a name read from the disk) for a terminal: its bytes come from the
// unit, and a control byte among them must neither move the cursor nor hide what follows. Each is
// shown as \xNN, and the backslash itself doubled, so the text still tells every serial apart.
QString printable(const QString& text) {
    QString out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            out += QStringLiteral("\\\\");
        else if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            out += QStringLiteral("\\x%1").arg(static_cast<int>(u), 2, 16, QLatin1Char('0'));
        else if (!c.isPrint() || c.category() == QChar::Separator_Line ||
                 c.category() == QChar::Separator_Paragraph)
            out += QStringLiteral("\\u%1").arg(static_cast<int>(u), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

} // namespace

int EmuCli::live(const QStringList& args) {
    QCommandLineParser parser;
    addPortOptions(parser);
    parser.addOption({QStringLiteral("seconds"),
                      QStringLiteral("Stop after N seconds (default: until interrupted)."),
                      QStringLiteral("N")});
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                      QStringLiteral("Record every frame to a data log FILE instead of printing it."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("format"), QStringLiteral("The log's format: csv (default) or msl."),
                      QStringLiteral("FORMAT")});
    if (const auto status = parseArguments(parser, QStringLiteral("live"), args, 0, {}))
        return *status;
    DataLogFile::Format format = DataLogFile::Format::Csv;
    if (parser.isSet(QStringLiteral("format"))) {
        const QString f = parser.value(QStringLiteral("format")).toLower();
        if (f != QLatin1String("csv") && f != QLatin1String("msl")) {
            err_ << "emu-cli live: --format is csv or msl\n";
            return kUsage;
        }
        format = f == QLatin1String("msl") ? DataLogFile::Format::Msl : DataLogFile::Format::Csv;
        if (!parser.isSet(QStringLiteral("output"))) {
            err_ << "emu-cli live: --format needs -o FILE\n";
            return kUsage;
        }
    }
    double seconds = -1;
    if (parser.isSet(QStringLiteral("seconds"))) {
        bool ok = false;
        seconds = parser.value(QStringLiteral("seconds")).toDouble(&ok);
        if (!ok || seconds <= 0) {
            err_ << "emu-cli live: --seconds takes a positive number\n";
            return kUsage;
        }
    }
    Unit unit;
    if (const auto status = connectUnit(parser, QStringLiteral("live"), unit))
        return *status;
    // The maps and scales give the live timing and the vacuum scale, as in the program.
    QString error;
    const auto image = runToEnd(unit.session.imageToSave(false, &error));
    if (!image) {
        err_ << "emu-cli: " << error << "\n";
        return kFault;
    }
    CalibrationData cal;
    const QByteArray reply(reinterpret_cast<const char*>(image->data()), kImageReplySize);
    CalibrationTransfer::storeReceivedImage(cal, reply);
    CalibrationTransfer::storeSetupBlock(cal, reply);
    setFamiliesForModel(cal, unit.identity.model());
    deriveSetupValues(cal);
    decodeImage(cal);

    DataLogWriter writer;
    const QString logPath = parser.value(QStringLiteral("output"));
    if (!logPath.isEmpty()) {
        const QString openError = writer.open(logPath, format);
        if (!openError.isEmpty()) {
            err_ << "emu-cli: " << logPath << ": " << openError << "\n";
            return kFault;
        }
    }

    interrupted = false;
    const auto previous = std::signal(SIGINT, onInterrupt);
    if (!writer.isOpen())
        out_ << "time_s,rpm,vacuum_bar,throttle_pct,lambda_v,water_c,air_c,pot_pct,battery_v,injector_ms,"
                "timing_deg,injector_duty_pct\n";
    out_.flush();
    LiveFrameBuffer frame;
    LiveValues v;
    LinkWatch watch;
    QElapsedTimer clock;
    clock.start();
    const long long startMs = monotonicMs();
    std::uint32_t samples = 0;
    // Polls that gave no frame: no answer in time, or an answer after the asked-for run had ended.
    std::uint32_t polls = 0;
    std::uint32_t unanswered = 0;
    std::uint32_t afterTheEnd = 0;
    int status = kOk;
    QElapsedTimer pollClock;
    while (!interrupted && (seconds < 0 || clock.elapsed() < seconds * 1000)) {
        pollClock.start();
        const QByteArray replyFrame = runToEnd(unit.link().realTimeFrame());
        ++polls;
        const bool empty = replyFrame.isEmpty() || replyFrame.at(0) == 0;
        unanswered += empty ? 1 : 0;
        // A CLI holds no unsent changes: the third silent poll in a row means the unit has gone.
        if (watch.take(empty, true) == LinkWatch::Verdict::Lost) {
            err_ << "emu-cli: the EMU stopped answering\n";
            status = kFault;
            break;
        }
        if (empty)
            continue;
        const long long readMs = monotonicMs();
        // A reply that arrives after the asked-for run has ended is not part of it.
        if (seconds > 0 && readMs - startMs > seconds * 1000) {
            ++afterTheEnd;
            break;
        }
        frame.take(replyFrame);
        LiveDecode::update(v, frame, cal);
        if (writer.isOpen()) {
            LogSample sample;
            sample.timeMs = static_cast<std::int32_t>(readMs - startMs);
            sample.sample = ++samples;
            for (int c = 0; c < LogChannels::kCount; ++c)
                sample.values[static_cast<size_t>(c)] = static_cast<float>(LogChannels::at(c).fromLive(v));
            sample.values[LogChannels::kFuelCurve] =
                std::numeric_limits<float>::quiet_NaN(); // no window here
            if (!writer.append(sample)) {
                err_ << "emu-cli: " << logPath << ": " << writer.error() << "\n";
                status = kFault;
                break;
            }
            runToEnd(unit.link().pause(EmuLink::kPollPeriodMs + EmuLink::pollRestMs(pollClock.elapsed())));
            continue;
        }
        out_ << QString::number(clock.elapsed() / 1000.0, 'f', 3) << ',' << roundHalfEven(v.RpmHundreds) * 100
             << ',' << csvNumber(v.Vacuum) << ',' << csvNumber(v.ThrottlePercent) << ','
             << csvNumber(v.LambdaHundredths / 100) << ',' << csvNumber(v.WaterTemp) << ','
             << csvNumber(v.AirTemp) << ',' << csvNumber(v.PotPercent) << ','
             << csvNumber(v.BatteryTenths / 10) << ',' << csvNumber(v.InjectorTenthsMs / 10) << ','
             << csvNumber(v.LiveTiming) << ',' << v.InjectorDuty << '\n';
        out_.flush();
        // The unit is polled at most 25 times a second, as the program does.
        runToEnd(unit.link().pause(EmuLink::kPollPeriodMs + EmuLink::pollRestMs(pollClock.elapsed())));
    }
    std::signal(SIGINT, previous);
    if (writer.isOpen())
        out_ << samples << " samples recorded to " << logPath << "\n";
    if (status == kOk && (unanswered > 0 || afterTheEnd > 0))
        err_ << "emu-cli: " << polls << " polls, " << unanswered << " unanswered, " << afterTheEnd
             << " answered after the end\n";
    return status;
}

namespace {

QString seconds3(double ms) {
    return QString::number(ms / 1000.0, 'f', 3);
}

QJsonValue jsonNumber(double v) {
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue();
}

} // namespace

int EmuCli::log(const QStringList& args) {
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("json"), QStringLiteral("Print the summary as JSON.")});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The data log (.csv or .msl)."));
    if (const auto status =
            parseArguments(parser, QStringLiteral("log"), args, 1, QStringLiteral("give one log file")))
        return *status;
    const QString path = parser.positionalArguments().constFirst();
    const DataLogFile::ReadResult r = DataLogFile::readFile(path);
    if (!r.ok) {
        err_ << "emu-cli: " << path << ": " << r.error << "\n";
        return kFault;
    }
    if (!r.warning.isEmpty())
        err_ << "emu-cli: " << path << ": " << r.warning << "\n";
    const DataLog& log = r.log;
    const QString format =
        r.format == DataLogFile::Format::Msl ? QStringLiteral("msl") : QStringLiteral("csv");
    if (parser.isSet(QStringLiteral("json"))) {
        QJsonObject o;
        o[QStringLiteral("file")] = path;
        o[QStringLiteral("format")] = format;
        o[QStringLiteral("duration_s")] = log.durationMs() / 1000.0;
        o[QStringLiteral("samples")] = static_cast<double>(log.size());
        o[QStringLiteral("gaps")] = static_cast<double>(log.gaps());
        if (!r.warning.isEmpty())
            o[QStringLiteral("warning")] = r.warning;
        QJsonArray markers;
        for (const LogMarker& m : log.markers())
            markers.append(QJsonObject{{QStringLiteral("number"), m.number},
                                       {QStringLiteral("time_s"), log.timeMs(m.row) / 1000.0},
                                       {QStringLiteral("note"), m.note}});
        o[QStringLiteral("markers")] = markers;
        QJsonArray channels;
        for (int c = 0; c < LogChannels::kCount; ++c) {
            const ChannelStats st = channelStats(log, c);
            QJsonObject ch{{QStringLiteral("name"), QString::fromUtf8(LogChannels::at(c).name)},
                           {QStringLiteral("unit"), QString::fromUtf8(LogChannels::at(c).unit)},
                           {QStringLiteral("count"), static_cast<double>(st.count)}};
            ch[QStringLiteral("min")] = st.count ? jsonNumber(st.min) : QJsonValue();
            ch[QStringLiteral("mean")] = st.count ? jsonNumber(st.mean) : QJsonValue();
            ch[QStringLiteral("max")] = st.count ? jsonNumber(st.max) : QJsonValue();
            channels.append(ch);
        }
        o[QStringLiteral("channels")] = channels;
        out_ << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented));
        return kOk;
    }
    out_ << "file: " << path << "\n"
         << "format: " << format << "\n"
         << "duration: " << seconds3(log.durationMs()) << " s\n"
         << "samples: " << log.size() << "\n"
         << "gaps: " << log.gaps() << "\n"
         << "markers: " << log.markers().size() << "\n";
    for (const LogMarker& m : log.markers()) {
        out_ << "  M" << m.number << " at " << seconds3(log.timeMs(m.row)) << " s";
        if (!m.note.isEmpty())
            out_ << ": " << m.note;
        out_ << "\n";
    }
    out_ << "channel (unit): min / mean / max\n";
    for (int c = 0; c < LogChannels::kCount; ++c) {
        const LogChannel& ch = LogChannels::at(c);
        const ChannelStats st = channelStats(log, c);
        out_ << "  " << QString::fromUtf8(ch.name) << " (" << QString::fromUtf8(ch.unit) << "): ";
        if (st.count == 0)
            out_ << "not measured\n";
        else
            out_ << csvNumber(st.min) << " / " << csvNumber(roundHalfEven(st.mean * 100) / 100.0) << " / "
                 << csvNumber(st.max) << "\n";
    }
    return kOk;
}

// The points a log says something about (hits or readings left out), curve by curve, with what a
// pass would change; nothing is written anywhere.
int EmuCli::suggest(const QStringList& args) {
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("tune"), QStringLiteral("The .EMU file the run was made with."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("adjust"),
                      QStringLiteral("Which map takes the suggestions: rpm (the three RPM curves, default) "
                                     "or vacuum (the fuel-vacuum map)."),
                      QStringLiteral("MAP"), QStringLiteral("rpm")});
    parser.addOption({QStringLiteral("min-water"),
                      QStringLiteral("Leave out readings colder than this (default 70 C)."),
                      QStringLiteral("C")});
    parser.addOption({QStringLiteral("json"), QStringLiteral("Print JSON.")});
    addPortOptions(parser); // the unit's own tune instead of a file
    parser.addPositionalArgument(QStringLiteral("LOG"), QStringLiteral("The data log (.csv or .msl)."));
    if (const auto status =
            parseArguments(parser, QStringLiteral("suggest"), args, 1, QStringLiteral("give one log file")))
        return *status;
    MixtureOptions options;
    const QString adjust = parser.value(QStringLiteral("adjust"));
    bool ok = true;
    if (parser.isSet(QStringLiteral("min-water")))
        options.minWaterC = parser.value(QStringLiteral("min-water")).toDouble(&ok);
    QString usage;
    const bool fromUnit = parser.isSet(QStringLiteral("port")) || parser.isSet(QStringLiteral("device"));
    if (parser.isSet(QStringLiteral("tune")) == fromUnit)
        usage =
            QStringLiteral("give the tune the run was made with: --tune FILE, or --port N or --device PATH "
                           "for the unit's");
    else if (adjust != QLatin1String("rpm") && adjust != QLatin1String("vacuum"))
        usage = QStringLiteral("--adjust takes rpm or vacuum");
    else if (!ok)
        usage = QStringLiteral("--min-water takes a number");
    if (!usage.isEmpty()) {
        err_ << "emu-cli suggest: " << usage << "\n";
        return kUsage;
    }
    options.adjustVacuumMap = adjust == QLatin1String("vacuum");
    std::optional<SettingsFileContents> contents;
    QString tuneName = parser.value(QStringLiteral("tune"));
    if (fromUnit) {
        Unit unit;
        if (const auto status = connectUnit(parser, QStringLiteral("suggest"), unit))
            return *status;
        QString error;
        const auto image = runToEnd(unit.session.imageToSave(false, &error));
        if (!image) {
            err_ << "emu-cli: " << unit.link().devicePath() << ": " << error << "\n";
            return kFault;
        }
        tuneName = unit.link().devicePath();
        contents = SettingsFileContents{unit.identity, VehicleInfo{}, *image};
    } else {
        contents = openSettingsFile(tuneName);
    }
    if (!contents)
        return kFault;
    CalibrationData cal;
    loadCalibration(cal, *contents, contents->identity.model());
    if (!cal.HasFuelMaps) {
        err_ << "emu-cli: " << tuneName << ": the unit has no fuel maps\n";
        return kFault;
    }
    const QString path = parser.positionalArguments().constFirst();
    const DataLogFile::ReadResult read = DataLogFile::readFile(path);
    if (!read.ok) {
        err_ << "emu-cli: " << path << ": " << read.error << "\n";
        return kFault;
    }
    if (!read.warning.isEmpty())
        err_ << "emu-cli: " << path << ": " << read.warning << "\n";
    const MixtureResult result = analyseMixture(read.log, cal, options);
    const auto shown = [](const MixturePoint& p) {
        return p.hits > 0 ||
               std::any_of(p.rejects.begin(), p.rejects.end(), [](std::int64_t n) { return n > 0; });
    };
    const auto axisOf = [](MapId map, double x) { return map == MapId::FuelVacuum ? x : x * 100.0; };
    const QString note = QStringLiteral(
        "A narrowband sensor says only whether the mixture is lean or rich of its switching point, "
        "not by how much: each pass moves a point a bounded step, and a point that switches around "
        "the target is left alone.");

    if (parser.isSet(QStringLiteral("json"))) {
        QJsonObject o{{"log", path},
                      {"tune", tuneName},
                      {"samples", static_cast<double>(result.samples)},
                      {"used", static_cast<double>(result.used)},
                      {"target_volts", result.targetVolts},
                      {"suggestions", result.suggestionCount()},
                      {"note", note}};
        const auto rejectsJson = [](const MixtureRejectCounts& counts) {
            QJsonObject r;
            for (int k = 0; k < kMixtureRejectCount; ++k)
                r[mixtureRejectKey(MixtureReject(k))] = static_cast<double>(counts[static_cast<size_t>(k)]);
            return r;
        };
        o[QStringLiteral("rejected")] = rejectsJson(result.rejects);
        QJsonArray curves;
        for (const MixtureCurve& curve : result.curves) {
            QJsonArray points;
            for (const MixturePoint& p : curve.points) {
                if (!shown(p))
                    continue;
                points.append(QJsonObject{{"point", p.point},
                                          {"axis", axisOf(curve.map, p.axis)},
                                          {"value", p.current},
                                          {"hits", static_cast<double>(p.hits)},
                                          {"lean_share", p.leanShare},
                                          {"rich_share", p.richShare},
                                          {"mean_volts", p.meanVolts},
                                          {"confidence", mixtureConfidenceText(p.confidence)},
                                          {"verdict", mixtureVerdictText(p.verdict)},
                                          {"step", p.step},
                                          {"suggested", p.suggested},
                                          {"rejected", rejectsJson(p.rejects)}});
            }
            curves.append(QJsonObject{{"map", QString::fromLatin1(mapInfo(curve.map).name)},
                                      {"axis_unit", curve.map == MapId::FuelVacuum ? "bar" : "rpm"},
                                      {"adjusted", curve.adjusted},
                                      {"points", points}});
        }
        o[QStringLiteral("curves")] = curves;
        out_ << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented));
        return kOk;
    }

    out_ << "log: " << path << " (" << result.samples << " samples, " << result.used << " used)\n"
         << "target: " << QString::number(result.targetVolts, 'f', 2) << " V\n"
         << "left out:";
    bool any = false;
    for (int k = 0; k < kMixtureRejectCount; ++k)
        if (const std::int64_t n = result.rejects[static_cast<size_t>(k)]) {
            out_ << (any ? ", " : " ") << n << " " << mixtureRejectText(MixtureReject(k));
            any = true;
        }
    out_ << (any ? "\n" : " none\n");
    const auto percent = [](double share) { return QString::number(roundHalfEven(share * 100.0)); };
    for (const MixtureCurve& curve : result.curves) {
        out_ << "\n"
             << mapInfo(curve.map).name
             << (curve.adjusted ? "" : " (readings only: this pass adjusts the other map)") << "\n";
        out_ << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11\n")
                    .arg(QStringLiteral("point"), 5)
                    .arg(curve.map == MapId::FuelVacuum ? QStringLiteral("bar") : QStringLiteral("rpm"), 6)
                    .arg(QStringLiteral("value"), 5)
                    .arg(QStringLiteral("hits"), 6)
                    .arg(QStringLiteral("lean%"), 5)
                    .arg(QStringLiteral("rich%"), 5)
                    .arg(QStringLiteral("mean V"), 6)
                    .arg(QStringLiteral("confidence"), -10)
                    .arg(QStringLiteral("reading"), -14)
                    .arg(QStringLiteral("step"), 4)
                    .arg(QStringLiteral("left out"));
        int rows = 0;
        for (const MixturePoint& p : curve.points) {
            if (!shown(p))
                continue;
            std::int64_t out = 0;
            for (std::int64_t n : p.rejects)
                out += n;
            const double axis = axisOf(curve.map, p.axis);
            out_ << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11\n")
                        .arg(p.point, 5)
                        .arg(curve.map == MapId::FuelVacuum ? QString::number(axis, 'f', 3)
                                                            : QString::number(roundHalfEven(axis)),
                             6)
                        .arg(csvNumber(p.current), 5)
                        .arg(p.hits, 6)
                        .arg(p.hits ? percent(p.leanShare) : QStringLiteral("-"), 5)
                        .arg(p.hits ? percent(p.richShare) : QStringLiteral("-"), 5)
                        .arg(p.hits ? QString::number(p.meanVolts, 'f', 2) : QStringLiteral("-"), 6)
                        .arg(mixtureConfidenceText(p.confidence), -10)
                        .arg(mixtureVerdictText(p.verdict), -14)
                        .arg(p.step > 0 ? QStringLiteral("+%1").arg(p.step) : QString::number(p.step), 4)
                        .arg(out);
            ++rows;
        }
        if (rows == 0)
            out_ << "  (no readings)\n";
    }
    out_ << "\n" << result.suggestionCount() << " points to change\n" << note << "\n";
    return kOk;
}

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
    if (command == QLatin1String("live"))
        return live(rest);
    if (command == QLatin1String("journal"))
        return journal(rest);
    if (command == QLatin1String("log"))
        return log(rest);
    if (command == QLatin1String("diff"))
        return diff(rest);
    if (command == QLatin1String("suggest"))
        return suggest(rest);
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
    if (const auto usage = choosePort(parser, unit.link())) {
        err_ << "emu-cli " << command << ": " << *usage << "\n";
        return kUsage;
    }
    QString error;
    const std::optional<EmuIdentity> identity = identifyUnit(unit.link(), &error);
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
    parser.addOption({QStringLiteral("serial"),
                      QStringLiteral("Also read the unit's serial number (from its setup block).")});
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
    if (parser.isSet(QStringLiteral("serial"))) {
        // The serial number lives in the setup block: one more read, which must come whole.
        const ImageRead image = runToEnd(unit.session.readUnitImage());
        if (!image.complete()) {
            out_.flush();
            err_ << "emu-cli: " << unit.link().devicePath() << ": " << image.shortText() << "\n";
            return kFault;
        }
        out_ << "Serial number: "
             << printable(Connection::serialNumberText(
                    reinterpret_cast<const std::uint8_t*>(image.reply.constData())))
             << "\n";
    }
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
    const QString path = parser.value(QStringLiteral("output"));
    const bool toStdout = path == QLatin1String("-");
    // Refused before the unit is asked: the file replaces what is there, and a device or a pipe
    // is never replaced by a file.
    if (const QFileInfo target(path); !toStdout && target.exists() && !target.isFile()) {
        err_ << "emu-cli: " << path << ": not a regular file; nothing was saved\n";
        return kFault;
    }
    QString error;
    const auto image = runToEnd(unit.session.imageToSave(false, &error));
    if (!image) {
        err_ << "emu-cli: " << error << "\n";
        return kFault;
    }
    if (const QString reason = SettingsFile::refusalReason(unit.identity, vehicle); !reason.isEmpty()) {
        err_ << "emu-cli read: " << reason << "\n";
        return kFault;
    }
    const QByteArray text = SettingsFile::write(unit.identity, vehicle, image->data());
    if (toStdout) {
        out_.flush();
        if (QIODevice* device = out_.device())
            device->write(text);
        else
            out_ << QString::fromLatin1(text);
        return kOk;
    }
    if (!SettingsFile::saveToFile(path, text, &error)) {
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
    // The file's calibration, for the unit's model (so --force writes it to the model on the port).
    loadCalibration(unit.session.state().cal, *contents, id.model());
    LinkState& link = unit.session.link();
    link.CalibrationLoaded = true;
    link.CalibrationModel = id.model();
    // The unit is asked again who it is just before the image, and the image is read back.
    const WriteResult result = runToEnd(unit.session.write());
    if (!result.ok()) {
        err_ << "emu-cli: " << unit.link().devicePath() << ": " << result.text() << "\n";
        return kFault;
    }
    out_ << "Wrote " << path << " to EMU " << id.model() << " on " << unit.link().devicePath()
         << " and read it back\n";
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
            const int plain = plainByteFromWire(wire);
            row["value"] = plain;
            if (const SetupParameter* p = setupParameter(k)) {
                const int sourceId = p->sourceId >= 0 ? p->sourceId : k;
                row["name"] = QString::fromUtf8(p->label).trimmed();
                row["decoded"] = describeWire(*p, static_cast<std::uint8_t>(wire),
                                              outputSourceOf(contents->image[sourceId]));
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
        for (int i = 1; i <= shown; ++i) {
            // The axis value as the charts show it (two decimals), in the tuner's unit.
            const double x = std::round(axisPosition(info.id, i, data.scales()) * 100) / 100;
            points.append(QJsonObject{{"point", i},
                                      {"x", x},
                                      {"xUnit", axisUnit(info.id)},
                                      {"value", data.map(info.id)[i]},
                                      {"valueUnit", valueUnit(info.id)}});
        }
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
        out_ << "\n" << name << " (point: axis = value)\n";
        for (const QJsonValue& v : maps[name].toArray()) {
            const QJsonObject p = v.toObject();
            out_ << QString::number(p["point"].toInt()).rightJustified(3) << ": " << p["x"].toDouble() << " "
                 << p["xUnit"].toString() << " = " << p["value"].toDouble() << " "
                 << p["valueUnit"].toString() << "\n";
        }
    }
    return kOk;
}

namespace {

QString editWhat(const EditRecord& e) {
    if (e.kind == EditRecord::Kind::MapPoint)
        return QStringLiteral("%1 point %2").arg(QString::fromLatin1(mapInfo(e.map).name)).arg(e.point);
    const QString label = describeSetupByte(e.setupId, 0).label;
    return label.isEmpty() ? QStringLiteral("Setup byte %1").arg(e.setupId)
                           : QStringLiteral("%1 (setup %2)").arg(label).arg(e.setupId);
}

QString editValue(const EditRecord& e, double v) {
    if (e.kind == EditRecord::Kind::MapPoint)
        return QString::number(v) + QLatin1Char(' ') + valueUnit(e.map);
    return describeSetupByte(e.setupId, static_cast<int>(v)).value;
}

QString positionText(double position, const QString& unit) {
    const int decimals = unit == QLatin1String("RPM")   ? 0
                         : unit == QLatin1String("bar") ? 3
                         : unit == QLatin1String("V")   ? 2
                                                        : 1;
    return QString::number(position, 'f', decimals) + QLatin1Char(' ') + unit;
}

const char* const kDiffUsage =
    "Usage: emu-cli diff A B [--json]\n"
    "\n"
    "Compares two tunes. Each of A and B is a .EMU file, --port N (the unit on Com N)\n"
    "or --device PATH (the unit on that serial device).\n"
    "Exit status: 0 the tunes are equal, 1 they differ, 2 wrong usage or a tune\n"
    "that could not be read.\n";

} // namespace

int EmuCli::journal(const QStringList& args) {
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("json"), QStringLiteral("Print JSON.")});
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A journal file; without it, every journal is listed."));
    const Parsed parsed = parse(parser, QStringLiteral("journal"), args);
    if (parsed.help) {
        out_ << parser.helpText();
        return kOk;
    }
    if (parsed.error || parser.positionalArguments().size() > 1) {
        err_ << "emu-cli journal: "
             << (parsed.error ? parsed.error->text : QStringLiteral("give at most one journal file")) << "\n";
        return kUsage;
    }
    const bool json = parser.isSet(QStringLiteral("json"));
    if (parser.positionalArguments().isEmpty()) {
        const QString folder = EditJournal::defaultFolder();
        const QFileInfoList files = QDir(folder).entryInfoList(
            {QStringLiteral("*.journal"), QStringLiteral("*.journal.*")}, QDir::Files, QDir::Name);
        QJsonArray list;
        for (const QFileInfo& f : files) {
            QString error;
            const auto c = EditJournal::readFile(f.filePath(), &error);
            QJsonObject row{{"path", f.filePath()}};
            if (c) {
                row["model"] = c->model;
                row["serial"] = c->serial;
                row["edits"] = static_cast<int>(c->edits.size());
                if (!c->problem.isEmpty())
                    row["problem"] = c->problem;
            } else {
                row["problem"] = error;
            }
            list.append(row);
        }
        if (json) {
            out_ << QJsonDocument(QJsonObject{{"folder", folder}, {"journals", list}})
                        .toJson(QJsonDocument::Indented);
            return kOk;
        }
        if (list.isEmpty())
            out_ << "No edit journals in " << folder << "\n";
        for (const QJsonValue& v : list) {
            const QJsonObject row = v.toObject();
            out_ << printable(row["path"].toString()) << ": ";
            if (row.contains("edits"))
                out_ << "EMU " << row["model"].toInt() << ", serial " << printable(row["serial"].toString())
                     << ", " << row["edits"].toInt() << (row["edits"].toInt() == 1 ? " edit" : " edits")
                     << " not stored";
            if (row.contains("problem"))
                out_ << (row.contains("edits") ? "; " : "") << row["problem"].toString();
            out_ << "\n";
        }
        return kOk;
    }

    const QString path = parser.positionalArguments().first();
    QString error;
    const auto c = EditJournal::readFile(path, &error);
    if (!c) {
        err_ << "emu-cli: " << error << "\n";
        return kFault;
    }
    if (json) {
        QJsonArray edits;
        for (const EditRecord& e : c->edits) {
            QJsonObject row{
                {"time", e.time.toString(Qt::ISODateWithMs)}, {"old", e.oldValue}, {"new", e.newValue}};
            if (e.kind == EditRecord::Kind::MapPoint) {
                row["map"] = QString::fromLatin1(mapInfo(e.map).name);
                row["point"] = e.point;
            } else {
                row["setupId"] = e.setupId;
                row["label"] = describeSetupByte(e.setupId, 0).label;
            }
            edits.append(row);
        }
        QJsonObject doc{{"path", path}, {"model", c->model}, {"serial", c->serial}, {"edits", edits}};
        if (!c->problem.isEmpty())
            doc["problem"] = c->problem;
        out_ << QJsonDocument(doc).toJson(QJsonDocument::Indented);
    } else {
        out_ << "Journal: " << printable(path) << "\n"
             << "EMU " << c->model << ", serial " << printable(c->serial) << ": " << c->edits.size()
             << (c->edits.size() == 1 ? " edit" : " edits") << " not stored\n";
        for (const EditRecord& e : c->edits)
            out_ << e.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) << "  " << editWhat(e) << ": "
                 << editValue(e, e.oldValue) << " -> " << editValue(e, e.newValue) << "\n";
    }
    if (!c->problem.isEmpty()) {
        err_ << "emu-cli: " << path << ": " << c->problem << "\n";
        return kFault;
    }
    return kOk;
}

std::optional<int> EmuCli::loadSide(const DiffSide& side, TuneSide& into) {
    if (!side.file.isEmpty()) {
        const std::optional<SettingsFileContents> contents = openSettingsFile(side.file);
        if (!contents)
            return kUsage;
        into.name = side.file;
        into.model = contents->identity.model();
        into.image = contents->image;
        return std::nullopt;
    }
    Unit unit;
    if (side.option == QLatin1String("device")) {
        unit.link().setDevicePath(side.value);
    } else {
        bool ok = false;
        const int n = side.value.toInt(&ok);
        if (!ok || n < PortNaming::kFirstPort || n > PortNaming::kLastPort) {
            err_ << "emu-cli diff: --port takes a number from 1 to 20\n";
            return kUsage;
        }
        unit.link().setPort(n);
    }
    QString error;
    const std::optional<EmuIdentity> identity = identifyUnit(unit.link(), &error);
    if (!identity) {
        err_ << "emu-cli: " << error << "\n";
        return kUsage;
    }
    const auto image = runToEnd(unit.session.imageToSave(false, &error));
    if (!image) {
        err_ << "emu-cli: " << unit.link().devicePath() << ": " << error << "\n";
        return kUsage;
    }
    into.name = unit.link().devicePath();
    into.model = identity->model();
    into.image = *image;
    return std::nullopt;
}

int EmuCli::diff(const QStringList& args) {
    QList<DiffSide> sides;
    bool json = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out_ << kDiffUsage;
            return kOk;
        }
        if (a == QLatin1String("--json")) {
            json = true;
            continue;
        }
        const bool port = a == QLatin1String("--port") || a.startsWith(QLatin1String("--port="));
        const bool device = a == QLatin1String("--device") || a.startsWith(QLatin1String("--device="));
        if (port || device) {
            DiffSide side{QString(), port ? QStringLiteral("port") : QStringLiteral("device"), QString()};
            if (a.contains(QLatin1Char('='))) {
                side.value = a.section(QLatin1Char('='), 1);
            } else if (i + 1 < args.size()) {
                side.value = args[++i];
            } else {
                err_ << "emu-cli diff: " << a << " needs a value\n";
                return kUsage;
            }
            sides << side;
            continue;
        }
        if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-")) {
            err_ << "emu-cli diff: unknown option '" << a << "'\n";
            return kUsage;
        }
        sides << DiffSide{a, QString(), QString()};
    }
    if (sides.size() != 2) {
        err_ << "emu-cli diff: give two tunes: .EMU files, --port N or --device PATH\n";
        return kUsage;
    }
    TuneSide a;
    TuneSide b;
    if (const auto status = loadSide(sides[0], a))
        return *status;
    if (const auto status = loadSide(sides[1], b))
        return *status;
    const TuneDifferences d = compareTunes(a, b);

    if (json) {
        QJsonArray setup;
        for (const SetupDifference& s : d.setup)
            setup.append(QJsonObject{{"id", s.id}, {"label", s.label}, {"a", s.a}, {"b", s.b}});
        QJsonArray points;
        for (const PointDifference& p : d.points)
            points.append(QJsonObject{{"map", QString::fromLatin1(mapInfo(p.map).name)},
                                      {"point", p.point},
                                      {"position", p.position},
                                      {"axisUnit", p.axisUnit},
                                      {"a", p.a},
                                      {"b", p.b},
                                      {"valueUnit", p.valueUnit}});
        const QJsonObject doc{{"a", QJsonObject{{"name", a.name}, {"model", a.model}}},
                              {"b", QJsonObject{{"name", b.name}, {"model", b.model}}},
                              {"equal", d.empty()},
                              {"setup", setup},
                              {"points", points}};
        out_ << QJsonDocument(doc).toJson(QJsonDocument::Indented);
        return d.empty() ? kOk : kFault;
    }
    if (d.empty()) {
        out_ << "The tunes are the same\n";
        return kOk;
    }
    out_ << "A: " << a.name << " (EMU " << a.model << ")\nB: " << b.name << " (EMU " << b.model << ")\n";
    if (!d.setup.isEmpty()) {
        out_ << "\nSetup parameters (A -> B)\n";
        for (const SetupDifference& s : d.setup)
            out_ << "  " << s.label << ": " << s.a << " -> " << s.b << "\n";
    }
    if (!d.points.isEmpty()) {
        out_ << "\nMap points (A -> B)\n";
        for (const PointDifference& p : d.points)
            out_ << "  " << mapInfo(p.map).name << " point " << p.point << " at "
                 << positionText(p.position, p.axisUnit) << ": " << p.a << " " << p.valueUnit << " -> " << p.b
                 << " " << p.valueUnit << "\n";
    }
    out_ << "\n"
         << d.setup.size() << (d.setup.size() == 1 ? " setup parameter and " : " setup parameters and ")
         << d.points.size() << (d.points.size() == 1 ? " map point differ\n" : " map points differ\n");
    return kFault;
}
