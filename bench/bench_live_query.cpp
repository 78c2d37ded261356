// The live query through the transport and the simulator: from the write of 0xFC until the last
// byte of the 10-byte frame is queued at the host, against the unit's 20 ms pause. Also the whole
// exchange as the poll runs it, with and without the USB-adapter latency model.
#include "link/EmuLink.h"
#include "link/EmuProtocol.h"
#include "link/TQCCom32.h"

#include "EmuSimulator.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

struct Figures {
    double median;
    double p99;
};

Figures figures(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 99 / 100)]};
}

// The exchange as the poll runs it: the event loop turns while the link waits its pause.
QByteArray polledFrame(EmuLink& link) {
    LinkTask<QByteArray> task = link.realTimeFrame();
    while (!task.done())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return task.result();
}

void run(bool usbLatency, int exchanges) {
    QTemporaryDir dir;
    SimConfig config;
    config.usbLatency = usbLatency;
    config.linkPath = dir.filePath("ttyEMU");
    EmuSimulator sim(config);
    if (!sim.start()) {
        std::printf("simulator did not start\n");
        return;
    }
    qputenv("EMU_PORTS", sim.devicePath().toLocal8Bit());
    std::vector<double> toLastByte;
    std::vector<double> exchange;
    int complete = 0;
    // The bare transport first (the port is for one user at a time), then the link owner.
    TQCCom32 port;
    EmuLink::configureLine(port);
    port.setPort(1);
    port.Open();
    for (int i = 0; i < exchanges; ++i) {
        QByteArray stale;
        port.Read(stale);
        const double t0 = nowMs();
        port.Write(QByteArray(1, static_cast<char>(EmuCommand::kRealTimeFrame)));
        while (port.InCount() < EmuLength::kRealTimeFrame && nowMs() - t0 < 200)
            QThread::usleep(100);
        toLastByte.push_back(nowMs() - t0);
        QByteArray frame;
        port.Read(frame);
    }
    port.Close();

    LinkState state;
    EmuLink link(state);
    link.setPort(1);
    link.open();
    for (int i = 0; i < exchanges; ++i) {
        const double t1 = nowMs();
        const QByteArray polled = polledFrame(link);
        exchange.push_back(nowMs() - t1);
        if (polled.size() == EmuLength::kRealTimeFrame)
            ++complete;
    }
    sim.stop();

    const char* mode = usbLatency ? "usb-latency" : "direct";
    const Figures a = figures(toLastByte);
    const Figures b = figures(exchange);
    std::printf("live query write->last byte queued (%s): median %.2f ms, p99 %.2f ms (target: below the 20 "
                "ms pause)\n",
                mode, a.median, a.p99);
    std::printf("live query whole exchange (%s): median %.2f ms, p99 %.2f ms (target: 20 ms pause + <= 20 ms "
                "extra)\n",
                mode, b.median, b.p99);
    std::printf("live query complete frames (%s): %d of %d (target: all)\n", mode, complete, exchanges);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int exchanges = argc > 1 ? std::max(10, atoi(argv[1])) : 500;
    run(false, exchanges);
    run(true, exchanges);
    return 0;
}
