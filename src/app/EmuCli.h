#pragma once

#include "calibration/SettingsFile.h"
#include "calibration/TuneComparison.h"
#include "link/EmuIdentity.h"
#include "link/EmuLink.h"
#include "session/TuneSession.h"

#include <QStringList>
#include <QTextStream>

#include <optional>

class QCommandLineParser;

// emu-cli: scripted backups and workshop use on the program's own code.
// Exit status: 0 success, 1 the unit or the file is at fault (one line on stderr), 2 wrong usage.
class EmuCli {
  public:
    EmuCli(QTextStream& out, QTextStream& err) : out_(out), err_(err) {}
    int run(const QStringList& args);

  private:
    // The unit a command talks to.
    struct Unit {
        TuneSession session;
        EmuIdentity identity;
        EmuLink& link() { return session.emuLink(); }
    };

    // Parses a sub-command's arguments; an exit status when the command must end here (help, usage).
    std::optional<int> parseArguments(QCommandLineParser& parser, const QString& command,
                                      const QStringList& args, int positionalCount, const QString& missing);
    // Opens the chosen port and identifies a live unit; an exit status when that fails.
    std::optional<int> connectUnit(const QCommandLineParser& parser, const QString& command, Unit& unit);

    // Opens and reads a .EMU file; on failure the reason is on stderr.
    std::optional<SettingsFileContents> openSettingsFile(const QString& path);

    int identify(const QStringList& args);
    int read(const QStringList& args);
    int write(const QStringList& args);
    int show(const QStringList& args);
    int live(const QStringList& args);
    int journal(const QStringList& args);
    int log(const QStringList& args);
    int diff(const QStringList& args);
    int suggest(const QStringList& args);

    // One side of a diff: a .EMU file, or the unit on a port or device ("--port N", "--device PATH").
    struct DiffSide {
        QString file;
        QString option; // "port" or "device"
        QString value;
    };
    std::optional<int> loadSide(const DiffSide& side, TuneSide& into);

    QTextStream& out_;
    QTextStream& err_;
};
