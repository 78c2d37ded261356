#include "calibration/TuneComparison.h"
#include "link/ImageLayout.h"

#include "calibration/SetupFieldText.h"

namespace {

// Every region decoded, whatever the model: a point is compared when either side's model holds it.
CalibrationData decoded(const TuneSide& side) {
    CalibrationData data;
    data.ReceivedImage = side.image;
    std::copy_n(side.image.begin(), kSetupBlockSize, data.SetupBlock.begin());
    data.HasTimingMaps = data.HasVacuumMap = data.HasFuelMaps = true;
    deriveSetupValues(data);
    decodeImage(data);
    return data;
}

// The families of a model; all of them for a model that has none.
CalibrationData familiesOf(int model) {
    CalibrationData probe;
    setFamiliesForModel(probe, model);
    if (!probe.HasTimingMaps && !probe.HasVacuumMap && !probe.HasFuelMaps)
        probe.HasTimingMaps = probe.HasVacuumMap = probe.HasFuelMaps = true;
    return probe;
}

QString setupValue(int id, std::uint8_t wire) {
    if (wire == 255)
        return QStringLiteral("not present");
    return describeSetupByte(id, plainByteFromWire(wire)).value;
}

} // namespace

double axisPosition(MapId map, int point, const MapScales& scales) {
    const double x = mapPointX(map, point, scales);
    switch (map) {
    case MapId::Timing:
    case MapId::FuelRpmCruise:
    case MapId::FuelRpmLow:
    case MapId::FuelRpmHigh:
        return x * 100; // the charts count in hundreds of RPM
    default:
        return x;
    }
}

QString axisUnit(MapId map) {
    switch (map) {
    case MapId::Timing:
    case MapId::FuelRpmCruise:
    case MapId::FuelRpmLow:
    case MapId::FuelRpmHigh:
        return QStringLiteral("RPM");
    case MapId::VacuumTiming:
    case MapId::FuelVacuum:
        return QStringLiteral("bar");
    case MapId::WaterTemp:
    case MapId::AirTempFuel:
    case MapId::AirTempTiming:
        return QStringLiteral("°C");
    case MapId::Voltage:
        return QStringLiteral("V");
    }
    return {};
}

QString valueUnit(MapId map) {
    return map == MapId::Timing || map == MapId::VacuumTiming ? QStringLiteral("°") : QStringLiteral("%");
}

TuneDifferences compareTunes(const TuneSide& a, const TuneSide& b) {
    TuneDifferences diff;
    diff.modelsDiffer = a.model != b.model;
    for (int id = 0; id < kSetupBlockSize; ++id) {
        const auto wa = a.image[static_cast<size_t>(id)];
        const auto wb = b.image[static_cast<size_t>(id)];
        if (wa == wb)
            continue;
        QString label = describeSetupByte(id, 0).label;
        if (label.isEmpty())
            label = QStringLiteral("Setup byte %1").arg(id);
        diff.setup << SetupDifference{id, label, setupValue(id, wa), setupValue(id, wb)};
    }
    const CalibrationData fa = familiesOf(a.model);
    const CalibrationData fb = familiesOf(b.model);
    const CalibrationData da = decoded(a);
    const CalibrationData db = decoded(b);
    for (const MapInfo& info : mapTable()) {
        if (!fa.hasFamily(info.family) && !fb.hasFamily(info.family))
            continue;
        // Every stored point, not only those the chart shows: a write sends them all.
        for (int p = 1; p <= info.points; ++p) {
            const size_t at = static_cast<size_t>(info.imageOffset + p - 1);
            if (a.image[at] == b.image[at])
                continue;
            const size_t i = static_cast<size_t>(p);
            diff.points << PointDifference{info.id,
                                           p,
                                           axisPosition(info.id, p, da.scales()),
                                           axisUnit(info.id),
                                           valueUnit(info.id),
                                           da.map(info.id)[i],
                                           db.map(info.id)[i]};
        }
    }
    return diff;
}
