// Replays every file of a corpus folder through the data-log invariant (the fuzz target's
// check) in an ordinary build. Usage: fuzz_log_replay [folder]
#include "log_file_check.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv) {
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(EMU_LOG_CORPUS);
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files, QDir::Name);
    if (names.isEmpty()) {
        std::fprintf(stderr, "no corpus files in %s\n", qPrintable(folder));
        return 1;
    }
    for (const QString& name : names) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(file.errorString()));
            return 1;
        }
        std::printf("%s: ", qPrintable(name));
        std::fflush(stdout); // the name shows even when the check aborts
        std::printf("%s\n", checkLogFileRoundTrip(file.readAll()) ? "read" : "refused");
    }
    std::printf("replayed %lld files\n", static_cast<long long>(names.size()));
    return 0;
}
