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

// The first byte of each command the simulator recorded.
QByteArray commandBytes(const QList<SimCommand>& commands);
