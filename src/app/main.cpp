// emu-interface: the tuning window. --demo puts a simulated unit on Com3; --screenshot FILE connects,
// shows the timing map, saves a picture of the window and exits.
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
    bool help = false;
    QString error;
};

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--demo") == 0) {
            options.demo = true;
        } else if (std::strcmp(arg, "--screenshot") == 0) {
            if (i + 1 >= argc) {
                options.error = QStringLiteral("--screenshot needs a file name");
                break;
            }
            options.screenshot = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options.help = true;
        }
        // Anything else is left to Qt (-platform, -style, ...).
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
    if (options.help) {
        std::printf("Usage: emu-interface [--demo] [--screenshot FILE]\n"
                    "  --demo             run against a simulated unit on Com3\n"
                    "  --screenshot FILE  connect, show the timing map, save the window as PNG and exit\n");
        return 0;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "emu-interface: %s\n", qPrintable(options.error));
        return 2;
    }
    if (!displayAvailable()) {
        std::fprintf(stderr, "emu-interface: no display (DISPLAY and WAYLAND_DISPLAY are unset); run it in a "
                             "desktop session, or without a screen: QT_QPA_PLATFORM=offscreen emu-interface "
                             "--demo --screenshot window.png\n");
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(TForm1::kApplicationTitle);
    QApplication::setDesktopFileName(QStringLiteral("emu-interface"));

    std::unique_ptr<EmuSimulator> simulator;
    if (options.demo) {
        SimConfig config;
        config.type = 3;
        config.firmwareVersion = 1;
        config.firmwareRelease = 13;
        config.releaseLetter = QLatin1Char('A');
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
