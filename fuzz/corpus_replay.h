// Replays every file of a corpus folder through a fuzz target's check in an ordinary build, so the
// corpus runs as a test: each file's name, then the check's word for it.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdio>

inline int replayCorpus(int argc, char** argv, const char* defaultFolder, bool (*check)(const QByteArray&),
                        const char* acceptedWord) {
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString::fromUtf8(defaultFolder);
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
        std::printf("%s\n", check(file.readAll()) ? acceptedWord : "refused");
    }
    std::printf("replayed %lld files\n", static_cast<long long>(names.size()));
    return 0;
}
