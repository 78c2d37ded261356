#pragma once

#include "EmuSimulator.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The real emu-cli binary as a user runs it.
struct Run {
    int status = -1; // -1: it crashed or did not finish
    QString out;
    QString err;
};

QString cliPath();

// Runs emu-cli with these arguments; a stateHome sets XDG_STATE_HOME (where journals live).
Run runCli(const QStringList& args, const QString& stateHome = QString());

// The frames `emu-cli live` took from the polls the simulator saw: every poll, less those it
// reported unanswered or answered after the end (a loaded machine may miss one). -1 when its report
// does not match the simulator's count.
int framesTaken(const Run& r, int polls);

// The first byte of each command the simulator recorded.
QByteArray commandBytes(const QList<SimCommand>& commands);
