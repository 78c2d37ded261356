#pragma once

#include <QStringList>
#include <QTextStream>

// emu-cli: scripted backups and workshop use on the program's own code.
// Exit status: 0 success, 1 the unit or the file is at fault (one line on stderr), 2 wrong usage.
class EmuCli {
public:
    EmuCli(QTextStream& out, QTextStream& err) : out_(out), err_(err) {}
    int run(const QStringList& args);

private:
    int identify(const QStringList& args);
    int read(const QStringList& args);
    int write(const QStringList& args);
    int show(const QStringList& args);

    QTextStream& out_;
    QTextStream& err_;
};
