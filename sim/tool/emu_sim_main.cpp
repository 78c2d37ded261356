// emu-sim: a simulated EMU on a pseudo-terminal. Prints the device path as the first line of
// standard output, then answers until SIGINT or SIGTERM.

#include "EmuSimulator.h"

#include "calibration/SettingsFile.h"
#include "link/EmuIdentity.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <csignal>
#include <cstdio>

#include <pthread.h>

namespace {

int fail(const QString& text) {
    std::fprintf(stderr, "emu-sim: %s\n", qPrintable(text));
    return 2;
}

bool parseFirmware(const QString& text, SimConfig& config) {
    static const QRegularExpression shape(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})$"));
    const QRegularExpressionMatch m = shape.match(text);
    if (!m.hasMatch() || m.captured(1).toInt() > 255 || m.captured(2).toInt() > 255)
        return false;
    config.firmwareVersion = m.captured(1).toInt();
    config.firmwareRelease = m.captured(2).toInt();
    return true;
}

bool loadTune(const QString& path, SimConfig& config, QString* error) {
    const std::optional<QByteArray> text = SettingsFile::loadFromFile(path, error);
    if (!text)
        return false;
    const std::optional<SettingsFileContents> contents = SettingsFile::read(*text);
    if (!contents) {
        *error = SettingsFile::kRejectedText;
        return false;
    }
    std::array<std::uint8_t, kImageReplySize> wire{};
    std::copy_n(contents->image.begin(), wire.size(), wire.begin());
    config.image = wire;
    return true;
}

QString describe(const SimConfig& config, const QString& device) {
    QString type = EmuIdentity::connectTypeText(config.type);
    if (type.isEmpty())
        type = QStringLiteral("unknown type");
    QString letter = config.releaseLetter.isNull() ? QString() : QString(config.releaseLetter);
    return QStringLiteral("EMU type %1 (%2), firmware %3.%4%5, serial %6%7%8%9 on %10")
        .arg(config.type)
        .arg(type)
        .arg(config.firmwareVersion)
        .arg(config.firmwareRelease)
        .arg(letter, config.serial)
        .arg(config.image ? QStringLiteral(", tune from file") : QStringLiteral(", base tune"))
        .arg(config.usbLatency ? QStringLiteral(", 16 ms USB latency") : QString())
        .arg(config.mixtureFollowsTune ? QStringLiteral(", road cycle answering the tune") : QString())
        .arg(device);
}

} // namespace

int main(int argc, char** argv) {
    // Blocked before any thread starts, so the simulator's thread never takes them; sigwait does.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("emu-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(EMU_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated EMU on a pseudo-terminal. Prints the device path on the first line, "
                       "then answers until interrupted."));
    const QCommandLineOption helpOpt({QStringLiteral("h"), QStringLiteral("help")},
                                     QStringLiteral("Displays help on commandline options."));
    const QCommandLineOption versionOpt({QStringLiteral("v"), QStringLiteral("version")},
                                        QStringLiteral("Displays version information."));
    parser.addOption(helpOpt);
    parser.addOption(versionOpt);
    const QCommandLineOption typeOpt(QStringLiteral("type"),
                                     QStringLiteral("EMU type: 1, 2, 3, 5 or 6 (default 3)."),
                                     QStringLiteral("n"), QStringLiteral("3"));
    const QCommandLineOption firmwareOpt(QStringLiteral("firmware"),
                                         QStringLiteral("Firmware version and release (default 1.13)."),
                                         QStringLiteral("X.Y"), QStringLiteral("1.13"));
    const QCommandLineOption letterOpt(QStringLiteral("letter"), QStringLiteral("Release letter, e.g. A."),
                                       QStringLiteral("letter"));
    const QCommandLineOption serialOpt(
        QStringLiteral("serial"), QStringLiteral("Serial number of the base tune (default AB-010203-04)."),
        QStringLiteral("text"));
    const QCommandLineOption fileOpt(QStringLiteral("file"),
                                     QStringLiteral("Load the unit's data from a .EMU settings file."),
                                     QStringLiteral("tune.emu"));
    const QCommandLineOption usbOpt(
        QStringLiteral("usb-latency"),
        QStringLiteral("Hold short replies like a USB adapter's 16 ms latency timer."));
    const QCommandLineOption linkOpt(QStringLiteral("link"),
                                     QStringLiteral("Create a symlink to the device at this path."),
                                     QStringLiteral("path"));
    const QCommandLineOption silentOpt(QStringLiteral("silent"), QStringLiteral("Answer nothing."));
    const QCommandLineOption seedOpt(QStringLiteral("seed"), QStringLiteral("Engine model seed (default 1)."),
                                     QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption mixtureOpt(
        QStringLiteral("mixture"),
        QStringLiteral("Drive a road cycle whose lambda reading answers the unit's fuel maps."));
    parser.addOptions({typeOpt, firmwareOpt, letterOpt, serialOpt, fileOpt, usbOpt, linkOpt, silentOpt,
                       seedOpt, mixtureOpt});
    // Wrong usage exits 2, as emu-cli does; help and version need no unit.
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "emu-sim: %s\nTry 'emu-sim --help' for the options.\n",
                     qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(versionOpt)) {
        std::printf("emu-sim %s\n", EMU_VERSION);
        return 0;
    }
    if (parser.isSet(helpOpt)) {
        std::fputs(qPrintable(parser.helpText().replace(QCoreApplication::arguments().constFirst(),
                                                        QStringLiteral("emu-sim"))),
                   stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    SimConfig config;
    bool ok = false;
    config.type = parser.value(typeOpt).toInt(&ok);
    if (!ok || config.type < 0 || config.type > 255)
        return fail(QStringLiteral("--type takes a number 0..255"));
    if (!parseFirmware(parser.value(firmwareOpt), config))
        return fail(QStringLiteral("--firmware takes X.Y, e.g. 1.13"));
    if (parser.isSet(letterOpt)) {
        const QString letter = parser.value(letterOpt);
        if (letter.size() != 1 || !letter[0].isLetter() || letter[0].toUpper().unicode() > 'Z')
            return fail(QStringLiteral("--letter takes one letter A..Z"));
        config.releaseLetter = letter[0].toUpper();
    }
    if (parser.isSet(serialOpt))
        config.serial = parser.value(serialOpt);
    config.seed = parser.value(seedOpt).toUInt(&ok);
    if (!ok)
        return fail(QStringLiteral("--seed takes a number"));
    config.usbLatency = parser.isSet(usbOpt);
    config.mixtureFollowsTune = parser.isSet(mixtureOpt);
    config.linkPath = parser.value(linkOpt);
    if (parser.isSet(fileOpt)) {
        QString error;
        if (!loadTune(parser.value(fileOpt), config, &error))
            return fail(QStringLiteral("%1: %2").arg(parser.value(fileOpt), error));
    }

    EmuSimulator sim(config);
    sim.setSilent(parser.isSet(silentOpt));
    if (!sim.start())
        return fail(config.linkPath.isEmpty()
                        ? QStringLiteral("cannot open a pseudo-terminal")
                        : QStringLiteral("cannot open a pseudo-terminal behind %1").arg(config.linkPath));

    std::printf("%s\n", qPrintable(sim.devicePath()));
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", qPrintable(describe(config, sim.ptyPath())));

    int signal = 0;
    sigwait(&stopSignals, &signal);
    sim.stop();
    return 0;
}
