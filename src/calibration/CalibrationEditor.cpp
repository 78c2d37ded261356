#include "calibration/CalibrationEditor.h"
#include "link/ImageLayout.h"

#include "calibration/Rounding.h"
#include "link/EmuLink.h"

namespace {

EditRecord mapRecord(MapId map, int point, double oldValue, double newValue, bool sent) {
    EditRecord record;
    record.kind = EditRecord::Kind::MapPoint;
    record.map = map;
    record.point = point;
    record.oldValue = oldValue;
    record.newValue = newValue;
    record.sent = sent;
    record.time = QDateTime::currentDateTime();
    return record;
}

EditRecord setupRecord(int id, std::uint8_t oldWire, std::uint8_t plainValue, bool sent) {
    EditRecord record;
    record.kind = EditRecord::Kind::SetupValue;
    record.setupId = id;
    record.oldValue = plainByteFromWire(oldWire);
    record.newValue = plainValue;
    record.sent = sent;
    record.time = QDateTime::currentDateTime();
    return record;
}

} // namespace

CalibrationEditor::CalibrationEditor(EmuState& state, EmuLink& link, QObject* parent)
    : QObject(parent), state_(state), link_(link) {
}

std::uint8_t CalibrationEditor::mapPointId(MapId map, int point) {
    return static_cast<std::uint8_t>((mapInfo(map).firstPointId + point - 1) & 0xFF);
}

std::uint8_t CalibrationEditor::mapPointByte(MapId map, double value) {
    return roundToByte(value + mapInfo(map).plainOffset);
}

bool CalibrationEditor::mapPointAllowed(MapId map, int point) const {
    const CalibrationData& cal = state_.cal;
    return state_.link.DataReady && cal.hasFamily(mapInfo(map).family) && point >= 1 &&
           point <= mapShownPoints(map, cal.scales());
}

bool CalibrationEditor::setMapPoint(MapId map, int point, double value, bool mergeable, bool send) {
    if (!mapPointAllowed(map, point))
        return false;
    double& slot = state_.cal.map(map)[static_cast<size_t>(point)];
    EditRecord record = mapRecord(map, point, slot, value, send);
    record.mergeable = mergeable;
    const int key = pointKey(map, point);
    if (!send && !unsent_.contains(key))
        unsent_.insert(key, slot);
    if (send && unsent_.contains(key))
        record.oldValue = unsent_.take(key);
    const Delivery delivery =
        send ? deliver(mapInfo(map).pointCommand, mapPointId(map, point), mapPointByte(map, value))
             : Delivery::OnPc;
    record.sent = delivery == Delivery::Sent;
    record.offline = send && delivery == Delivery::OnPc;
    if (delivery == Delivery::Failed) {
        // The unit did not get it: the window keeps what the unit holds.
        if (unsent_.contains(key))
            slot = unsent_.take(key);
        emit mapChanged(map);
        return false;
    }
    slot = value;
    // Sent or kept back, the PC now holds a change: the exit question and a lost link must see it.
    state_.link.MapsChanged = true;
    record.group = currentGroup();
    emit edited(record);
    emit mapChanged(map);
    return true;
}

bool CalibrationEditor::sendMapPoint(MapId map, int point) {
    if (!mapPointAllowed(map, point))
        return false;
    double& slot = state_.cal.map(map)[static_cast<size_t>(point)];
    const double value = slot;
    const int key = pointKey(map, point);
    const Delivery delivery =
        deliver(mapInfo(map).pointCommand, mapPointId(map, point), mapPointByte(map, value));
    if (delivery == Delivery::Failed) {
        // The unit still holds the value before the unsent changes: so does the window.
        if (unsent_.contains(key)) {
            slot = unsent_.take(key);
            emit mapChanged(map);
        }
        return false;
    }
    state_.link.MapsChanged = true;
    const double before = unsent_.contains(key) ? unsent_.take(key) : value;
    EditRecord record = mapRecord(map, point, before, value, delivery == Delivery::Sent);
    record.offline = delivery == Delivery::OnPc;
    record.group = currentGroup();
    emit edited(record);
    return true;
}

bool CalibrationEditor::applyMapPoint(MapId map, int point, double value) {
    if (!mapPointAllowed(map, point))
        return false;
    const Delivery delivery =
        deliver(mapInfo(map).pointCommand, mapPointId(map, point), mapPointByte(map, value));
    if (delivery == Delivery::Failed)
        return false;
    double& slot = state_.cal.map(map)[static_cast<size_t>(point)];
    EditRecord record = mapRecord(map, point, slot, value, delivery == Delivery::Sent);
    record.offline = delivery == Delivery::OnPc;
    unsent_.remove(pointKey(map, point));
    slot = value;
    state_.link.MapsChanged = true;
    emit edited(record);
    emit mapChanged(map);
    return true;
}

bool CalibrationEditor::applySetupValue(int id, std::uint8_t plainValue) {
    if (!state_.link.DataReady || id < 0 || id >= kSetupBlockSize)
        return false;
    const Delivery delivery = deliver(EmuCommand::kSetParameter, static_cast<std::uint8_t>(id), plainValue);
    if (delivery == Delivery::Failed)
        return false;
    storeSetupValue(id, plainValue, delivery);
    return true;
}

bool CalibrationEditor::setSetupValue(int id, std::uint8_t plainValue) {
    if (!state_.link.DataReady || id < 0 || id >= kSetupBlockSize)
        return false;
    const Delivery delivery = deliver(EmuCommand::kSetParameter, static_cast<std::uint8_t>(id), plainValue);
    if (delivery == Delivery::Failed)
        return false;
    storeSetupValue(id, plainValue, delivery);
    return true;
}

void CalibrationEditor::storeSetupValue(int id, std::uint8_t plainValue, Delivery delivery) {
    std::uint8_t& slot = state_.cal.SetupBlock[static_cast<size_t>(id)];
    if (delivery == Delivery::OnPc && slot == wireFromPlain(plainValue)) {
        // Kept on the PC and the same as it was (a fill of a file's data): nothing changed.
        emit setupValueChanged(id);
        return;
    }
    EditRecord record = setupRecord(id, slot, plainValue, delivery == Delivery::Sent);
    record.offline = delivery == Delivery::OnPc;
    record.group = currentGroup();
    slot = wireFromPlain(plainValue);
    state_.link.SetupChanged = true;
    emit edited(record);
    emit setupValueChanged(id);
}

bool CalibrationEditor::setSetupChoice(int id, std::uint8_t plainValue) {
    if (state_.link.DataReady)
        return setSetupValue(id, plainValue);
    if (id < 0 || id >= kSetupBlockSize)
        return false;
    std::uint8_t& slot = state_.cal.SetupBlock[static_cast<size_t>(id)];
    const auto wire = wireFromPlain(plainValue);
    const bool changed = slot != wire;
    // Only an accepted unit hears it: a unit whose firmware did not match is left alone. A fill
    // echoes the byte the unit holds back to it, as the unit expects.
    const Delivery delivery = state_.link.EmuConnected ? deliver(EmuCommand::kSetParameter,
                                                                 static_cast<std::uint8_t>(id), plainValue)
                                                       : Delivery::OnPc;
    if (delivery == Delivery::Failed && changed) {
        emit setupValueChanged(id);
        return false;
    }
    EditRecord record = setupRecord(id, slot, plainValue, delivery == Delivery::Sent);
    record.offline = !record.sent;
    slot = wire;
    if (changed) {
        state_.link.SetupChanged = true;
        emit edited(record);
    }
    emit setupValueChanged(id);
    return true;
}

CalibrationEditor::Delivery CalibrationEditor::deliver(std::uint8_t command, std::uint8_t id,
                                                       std::uint8_t value) {
    const LinkState& link = state_.link;
    // While the unit on the port is being identified again, nothing is changed at all.
    if (link.Verifying)
        return Delivery::Failed;
    // The window shows a file's data, or data the unit does not hold: the edit stays on the PC
    // until "Write to EMU" puts the whole calibration into a unit.
    if (!link.UnitInStep)
        return Delivery::OnPc;
    if (!link_.sendSet(command, id, value)) {
        emit sendRefused(command, id, value);
        return Delivery::Failed;
    }
    return Delivery::Sent;
}

void CalibrationEditor::endEditGroup() {
    emit editGroupEnded();
}

CalibrationEditor::Group::Group(CalibrationEditor& editor) : editor_(editor) {
    if (editor_.groupDepth_++ == 0) {
        ++editor_.groupNumber_;
        emit editor_.operationBegan(editor_.groupNumber_);
    }
}

CalibrationEditor::Group::~Group() {
    if (--editor_.groupDepth_ == 0)
        emit editor_.operationEnded(editor_.groupNumber_);
}
