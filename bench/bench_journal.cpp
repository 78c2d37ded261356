// What the edit journal costs one edit: the same map-point edits through the edit door, every other
// one journalled (written and on the disk before the door returns), in one run against the simulator.
// Figures: the time the door takes (the user-interface thread is held that long) and edit to wire
// (from the call until the simulator has parsed the three bytes), with and without the journal.
#include "calibration/CalibrationEditor.h"
#include "calibration/EditJournal.h"
#include "link/EmuLink.h"

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using bench::nowUs;

namespace {

struct Figures {
    double median;
    double p99;
};

Figures figures(const std::vector<double>& v) {
    return {bench::percentile(v, 0.5), bench::percentile(v, 0.99)};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int edits = argc > 1 ? std::max(20, atoi(argv[1])) : 400;
    // On the disk the program would use, not a RAM folder: the build folder by default.
    const QByteArray where = qgetenv("EMU_BENCH_DIR");
    QTemporaryDir journalDir((where.isEmpty() ? QDir::currentPath() : QString::fromLocal8Bit(where)) +
                             QStringLiteral("/bench-journal-XXXXXX"));
    QTemporaryDir linkDir;
    SimConfig config;
    config.linkPath = linkDir.filePath(QStringLiteral("ttyEMU"));
    EmuSimulator sim(config);
    if (!sim.start() || !journalDir.isValid()) {
        std::printf("simulator or journal folder did not start\n");
        return 1;
    }
    EmuState state;
    EmuLink link(state.link);
    link.setDevicePath(sim.devicePath());
    if (!link.open()) {
        std::printf("cannot open %s\n", qPrintable(sim.devicePath()));
        return 1;
    }
    CalibrationEditor door(state, link);
    setFamiliesForModel(state.cal, 3);
    state.link.DataReady = true;
    state.link.UnitInStep = true; // the unit holds the data shown: edits go to it
    EditJournal journal(journalDir.path());
    journal.start(3, QStringLiteral("BENCH-1"));
    bool journalling = false;
    QObject::connect(&door, &CalibrationEditor::edited, [&](const EditRecord& r) {
        if (journalling)
            journal.append(r);
    });

    std::vector<double> doorMs[2];
    std::vector<double> wireMs[2];
    for (int i = 0; i < edits; ++i) {
        journalling = i % 2 == 1;
        sim.clearRecord();
        const qint64 t0 = nowUs();
        door.setMapPoint(MapId::Timing, 1 + i % 60, 10 + i % 20, true);
        const qint64 t1 = nowUs();
        if (!sim.waitForCommands(1, 2000)) {
            std::printf("the simulator did not receive edit %d\n", i);
            return 1;
        }
        doorMs[journalling].push_back((t1 - t0) / 1000.0);
        wireMs[journalling].push_back((sim.commands().constFirst().receivedUs - t0) / 1000.0);
        QThread::msleep(5);
    }
    const Figures d0 = figures(doorMs[0]), d1 = figures(doorMs[1]);
    const Figures w0 = figures(wireMs[0]), w1 = figures(wireMs[1]);
    std::printf("journal folder: %s (%d edits, every other one journalled)\n", qPrintable(journalDir.path()),
                edits);
    std::printf("edit door, without journal: median %.3f ms, p99 %.3f ms\n", d0.median, d0.p99);
    std::printf("edit door, with journal: median %.3f ms, p99 %.3f ms\n", d1.median, d1.p99);
    std::printf("journal cost per edit: median %.3f ms (target < 2 ms)\n", d1.median - d0.median);
    std::printf("edit to wire, without journal: median %.3f ms, p99 %.3f ms (target p99 <= 25 ms)\n",
                w0.median, w0.p99);
    std::printf("edit to wire, with journal: median %.3f ms, p99 %.3f ms (target p99 <= 25 ms)\n", w1.median,
                w1.p99);
    sim.stop();
    return 0;
}
