#include "cli_helpers.h"

#include <QRegularExpression>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

QString cliPath() {
    const QByteArray dir = qgetenv("EMU_BIN_DIR");
    const QString base = dir.isEmpty() ? QCoreApplication::applicationDirPath() : QString::fromLocal8Bit(dir);
    return QDir(base).filePath(QStringLiteral("emu-cli"));
}

Run runCli(const QStringList& args, const QString& stateHome) {
    QProcess p;
    if (!stateHome.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_STATE_HOME"), stateHome);
        p.setProcessEnvironment(env);
    }
    p.start(cliPath(), args);
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

int framesTaken(const Run& r, int polls) {
    static const QRegularExpression report(
        QStringLiteral("(\\d+) polls, (\\d+) unanswered, (\\d+) answered after the end"));
    const QRegularExpressionMatch m = report.match(r.err);
    if (!m.hasMatch())
        return polls;
    if (m.captured(1).toInt() != polls)
        return -1;
    return polls - m.captured(2).toInt() - m.captured(3).toInt();
}

QByteArray commandBytes(const QList<SimCommand>& commands) {
    QByteArray firsts;
    for (const SimCommand& c : commands)
        firsts.append(c.bytes.at(0));
    return firsts;
}
