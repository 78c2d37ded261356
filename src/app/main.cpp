// emu-interface: the tuning window. FILE opens a settings file as Open does; --demo puts a simulated
// unit on Com3; --screenshot PNG connects, shows the timing map, saves a picture of the window and exits.
#include "ui/TForm1.h"

#include "EmuSimulator.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct Options {
    bool demo = false;
    QString screenshot;
    QString file;
    bool help = false;
    bool version = false;
    QString error;
};

// Qt's own options, which QApplication takes out of the arguments itself.
bool isQtOption(const QString& arg, bool* takesValue) {
    static const QStringList withValue{
        QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
        QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
        QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowtitle"),
        QStringLiteral("qwindowicon"),     QStringLiteral("style"),
        QStringLiteral("stylesheet"),      QStringLiteral("session"),
        QStringLiteral("display"),         QStringLiteral("geometry"),
        QStringLiteral("title"),           QStringLiteral("name")};
    static const QStringList flags{QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                   QStringLiteral("nograb"), QStringLiteral("dograb"),
                                   QStringLiteral("sync")};
    QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype equals = name.indexOf(QLatin1Char('='));
    if (equals >= 0)
        name.truncate(equals);
    *takesValue = equals < 0 && withValue.contains(name);
    return withValue.contains(name) || flags.contains(name);
}

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        bool takesValue = false;
        if (arg == QLatin1String("--demo")) {
            options.demo = true;
        } else if (arg == QLatin1String("--screenshot")) {
            if (i + 1 >= argc) {
                options.error = QStringLiteral("--screenshot needs a file name");
                break;
            }
            options.screenshot = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--version") || arg == QLatin1String("-v")) {
            options.version = true;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            if (!isQtOption(arg, &takesValue)) {
                options.error = QStringLiteral("unknown option '%1'").arg(arg);
                break;
            }
            if (takesValue)
                ++i;
        } else if (options.file.isEmpty()) {
            options.file = arg;
        } else {
            options.error = QStringLiteral("one file at a time; '%1' is one too many").arg(arg);
            break;
        }
    }
    return options;
}

bool displayAvailable() {
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void takeScreenshot(TForm1& window, const QString& path) {
    window.spConnectClick();
    if (auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl1")))
        pages->setCurrentIndex(1);
    QTimer::singleShot(400, &window, [&window, path] {
        const bool saved = window.grab().save(path, "PNG");
        if (!saved)
            std::fprintf(stderr, "emu-interface: could not write %s\n", qPrintable(path));
        QCoreApplication::exit(saved ? 0 : 1);
    });
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "emu-interface: %s\nTry 'emu-interface --help' for the options.\n",
                     qPrintable(options.error));
        return 2;
    }
    if (options.help) {
        std::printf("Usage: emu-interface [options] [FILE.emu]\n"
                    "  FILE.emu          open this settings file once the port search has finished\n"
                    "  --demo            run against a simulated unit on Com3\n"
                    "  --screenshot PNG  connect, show the timing map, save the window as PNG and exit\n"
                    "  -v, --version     print the program's name and version\n"
                    "  -h, --help        print this help\n");
        return 0;
    }
    if (options.version) {
        std::printf("emu-interface %s\n", EMU_VERSION);
        return 0;
    }
    if (!displayAvailable()) {
        std::fprintf(stderr, "emu-interface: no display (DISPLAY and WAYLAND_DISPLAY are unset); run it in a "
                             "desktop session, or without a screen: QT_QPA_PLATFORM=offscreen emu-interface "
                             "--demo --screenshot window.png\n");
        return 1;
    }

    QApplication app(argc, argv);
    // The X11 window class and the Wayland app id both name the desktop entry; the dialogs carry the
    // application's title themselves.
    QApplication::setApplicationName(QStringLiteral("emu-interface"));
    QApplication::setDesktopFileName(QStringLiteral("emu-interface"));
    QApplication::setApplicationVersion(QStringLiteral(EMU_VERSION));

    std::unique_ptr<EmuSimulator> simulator;
    if (options.demo) {
        SimConfig config;
        config.type = 3;
        config.firmwareVersion = 1;
        config.firmwareRelease = 13;
        config.releaseLetter = QLatin1Char('A');
        config.mixtureFollowsTune = true; // the lambda reading answers the fuel maps
        simulator = std::make_unique<EmuSimulator>(config);
        if (!simulator->start()) {
            std::fprintf(stderr, "emu-interface: the simulated unit could not be started\n");
            return 1;
        }
        // Com1 and Com2 name no device; the simulated unit is Com3.
        qputenv("EMU_PORTS", "::" + QFile::encodeName(simulator->devicePath()));
    }

    if (!options.screenshot.isEmpty())
        QCursor::setPos(100000, 100000); // no button under a pointer that nobody moves

    TForm1 window;
    if (!options.file.isEmpty())
        window.setStartupFile(options.file);
    if (!options.screenshot.isEmpty()) {
        QObject::connect(&window, &TForm1::startupSearchFinished, &window,
                         [&window, path = options.screenshot] { takeScreenshot(window, path); });
    }
    window.show();
    const int status = app.exec();
    if (simulator)
        simulator->stop();
    return status;
}
