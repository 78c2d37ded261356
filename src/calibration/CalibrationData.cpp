#include "calibration/CalibrationData.h"
#include "link/SetupIds.h"

#include "calibration/Rounding.h"
#include "calibration/SetupParameters.h"

#include <algorithm>

bool CalibrationData::hasFamily(MapFamily f) const {
    switch (f) {
    case MapFamily::Timing:
        return HasTimingMaps;
    case MapFamily::Vacuum:
        return HasVacuumMap;
    case MapFamily::Fuel:
        return HasFuelMaps;
    }
    return false;
}

void setFamiliesForModel(CalibrationData& data, int model) {
    switch (model) {
    case 1:
        data.HasTimingMaps = true;
        data.HasVacuumMap = true;
        break;
    case 2:
        data.HasFuelMaps = true;
        break;
    case 3:
    case 5:
    case 6:
        data.HasTimingMaps = true;
        data.HasVacuumMap = true;
        data.HasFuelMaps = true;
        break;
    default:
        break;
    }
}

void deriveSetupValues(CalibrationData& data) {
    const auto& s = data.SetupBlock;
    // Decoded by the setup table; a 255 byte means "not present": the value stays as it was
    // (RpmRange keeps 7000 on a first connect).
    auto derive = [&s](int offset, auto apply) {
        const SetupParameter* p = setupParameter(offset);
        if (const std::optional<double> v = p ? decodedValue(*p, s[offset]) : std::nullopt)
            apply(*v);
    };
    derive(SetupId::Cylinders, [&](double v) { data.Cylinders = static_cast<int>(v); });
    derive(SetupId::RpmRange, [&](double v) { data.RpmRange = static_cast<int>(v); });
    derive(SetupId::CoilTime, [&](double v) { data.CoilTimeMs = v; });
    derive(SetupId::VacuumRange, [&](double v) { data.VacuumRange = static_cast<int>(v); });
    derive(SetupId::RpmLimiter, [&](double v) { data.RpmLimiter = static_cast<int>(v); });
    derive(SetupId::Setup85, [&](double v) { data.Setup85 = static_cast<int>(v); });
    data.TimingPointCount = std::clamp(roundHalfEven(data.RpmRange / 100.0), 1, kMaxMapPoints);
}

void decodeImage(CalibrationData& data) {
    const auto& r = data.ReceivedImage;
    for (const MapInfo& info : mapTable()) {
        if (!data.hasFamily(info.family))
            continue;
        MapArray& values = data.map(info.id);
        // No range check: every byte decodes to some number (wire 0 gives plain -1 - offset).
        for (int n = 1; n <= info.points; ++n)
            values[n] = plainFromWire(r[info.imageOffset + n - 1]) - info.plainOffset;
    }
    placeVacuumAxes(data);
    if (data.HasFuelMaps) {
        data.MainJetTrim = plainByteFromWire(data.SetupBlock[SetupId::MainJet]);
        data.IdleJetTrim = plainByteFromWire(data.SetupBlock[SetupId::IdleJet]);
    }
}

void placeVacuumAxes(CalibrationData& data) {
    const MapScales scales = data.scales();
    if (data.HasVacuumMap)
        for (int n = 1; n <= mapInfo(MapId::VacuumTiming).points; ++n)
            data.VacuumAxis[n] = mapPointX(MapId::VacuumTiming, n, scales);
    if (data.HasFuelMaps)
        for (int n = 1; n <= mapInfo(MapId::FuelVacuum).points; ++n)
            data.FuelVacuumAxis[n] = mapPointX(MapId::FuelVacuum, n, scales);
}

void buildImage(CalibrationData& data) {
    auto& out = data.OutgoingImage;
    auto& plain = data.PlainImage;

    // Setup bytes pass through as they are held (a 255 "not present" stays 255, plain 254).
    for (int k = 0; k < kSetupBlockSize; ++k) {
        out[k] = data.SetupBlock[k];
        plain[k] = plainByteFromWire(data.SetupBlock[k]);
    }

    for (const MapInfo& info : mapTable()) {
        const bool has = data.hasFamily(info.family);
        const MapArray& values = data.map(info.id);
        for (int n = 1; n <= info.points; ++n) {
            const int offset = info.imageOffset + n - 1;
            if (has) {
                plain[offset] = roundToByte(values[n] + info.plainOffset);
                out[offset] = wireFromPlain(plain[offset]);
            } else {
                // A region this type lacks keeps what the unit or the file gave us.
                out[offset] = data.ReceivedImage[offset];
                plain[offset] = plainByteFromWire(out[offset]);
            }
        }
    }

    plain[kTrailerOffset] = kTrailerPlain;
    out[kTrailerOffset] = wireFromPlain(kTrailerPlain);

    data.OutgoingImageText = QByteArray(reinterpret_cast<const char*>(out.data()), kImageSize);
    data.PlainImageText = QByteArray(reinterpret_cast<const char*>(plain.data()), kImageSize);
}

void clearCalibration(CalibrationData& data) {
    data.SetupBlock.fill(0);
    data.ReceivedImage.fill(0);
    for (MapArray& values : data.maps)
        values.fill(0);
    data.VacuumAxis.fill(0);
    data.FuelVacuumAxis.fill(0);
}
