#include "EmuCli.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    EmuCli cli(out, err);
    QStringList args = app.arguments();
    args.removeFirst();
    const int status = cli.run(args);
    out.flush();
    err.flush();
    return status;
}
