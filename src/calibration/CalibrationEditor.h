#pragma once

#include "calibration/EmuState.h"
#include "calibration/MapTable.h"

#include <QDateTime>
#include <QHash>
#include <QMetaType>
#include <QObject>

#include <cstdint>

class EmuLink;

// One accepted change to the calibration, as the edit door applied it.
struct EditRecord {
    enum class Kind { MapPoint, SetupValue };
    Kind kind = Kind::MapPoint;
    MapId map = MapId::Timing; // MapPoint
    int point = 0;             // MapPoint: 1-based point number
    int setupId = 0;           // SetupValue: the 0xF2 parameter id (its setup offset)
    double oldValue = 0;       // MapPoint: map values; SetupValue: plain bytes (wire - 1)
    double newValue = 0;
    bool mergeable = false; // part of a drag or a held key: one undo step with its neighbours
    bool sent = false;      // the message went to the unit with this change
    bool offline = false;   // a change made on the PC only (a file's data): nothing was sent
    int group = 0;          // edits of one operation (a curve shift) share a number; 0: alone
    QDateTime time;
};

Q_DECLARE_METATYPE(MapId)
Q_DECLARE_METATYPE(EditRecord)

// The edit door: every change to a map point or a setup byte goes through here, from the charts,
// the keys, the Setup page, the dialogs and undo alike. Each call checks DataReady, updates the
// state, sends the message through the link owner, sets the change flag and says what changed.
// Pages repaint from the signals; nothing else writes a map point or a setup byte.
class CalibrationEditor : public QObject {
    Q_OBJECT

  public:
    CalibrationEditor(EmuState& state, EmuLink& link, QObject* parent = nullptr);

    EmuState& state() { return state_; }

    // Sets point (1..the points the map shows) of a map and, when send is true, sends its
    // single-point write. Refused (false, nothing changed) without DataReady, for a family the
    // unit lacks, a point outside the map, or when the message cannot reach the port. A change
    // kept back (send false, a key still held) sets MapsChanged too: the PC now differs from the unit.
    bool setMapPoint(MapId map, int point, double value, bool mergeable = false, bool send = true);
    // Sends the point's current value (the key-up of keyboard tuning) and sets MapsChanged. Says
    // what was sent with edited(): from the value before the unsent changes to the current one.
    bool sendMapPoint(MapId map, int point);
    // A change of the point kept back by setMapPoint(send false) and not sent since.
    bool hasUnsentPoint(MapId map, int point) const { return unsent_.contains(pointKey(map, point)); }
    // The maps were replaced (a read, an opened file, Close all): changes kept back are void.
    void forgetUnsent() { unsent_.clear(); }

    // Stores plain value + 1 at setup offset id and sends 0xF2 id value; sets SetupChanged.
    // Refused (false, nothing changed) without DataReady, for an id outside the setup block, or
    // when the message cannot reach the port.
    bool setSetupValue(int id, std::uint8_t plainValue);
    // The Setup tab's radio groups and output sources send on every change of selection, also while
    // the tab is filled before DataReady is set. With DataReady this is setSetupValue; without it
    // the byte is stored and sent to a connected unit, and SetupChanged is set only when the stored byte
    // changes (a fill echoes the unit's own value, which leaves nothing to write).
    bool setSetupChoice(int id, std::uint8_t plainValue);

    // Undo, redo and a journal brought back: the message goes first, and when it does not reach
    // the port nothing changes (false), so the window never shows what the unit does not hold.
    bool applyMapPoint(MapId map, int point, double value);
    bool applySetupValue(int id, std::uint8_t plainValue);

    // Ends a run of mergeable edits (button up, key up): the next mergeable edit starts a new step.
    void endEditGroup();

    // The edits made while a group is open are one operation: one undo step and one journal group
    // (a curve shift, a map tool applied to a selection). Groups nest; the outermost one counts.
    class Group {
      public:
        explicit Group(CalibrationEditor& editor);
        ~Group();
        Group(const Group&) = delete;
        Group& operator=(const Group&) = delete;

      private:
        CalibrationEditor& editor_;
    };
    // The open group's number, 0 when none is open.
    int currentGroup() const { return groupDepth_ > 0 ? groupNumber_ : 0; }

    // The single-point write of a map: point id within the command's group, and the value byte.
    static std::uint8_t mapPointId(MapId map, int point);
    static std::uint8_t mapPointByte(MapId map, double value);

  signals:
    void mapChanged(MapId map);
    void setupValueChanged(int id);
    void edited(const EditRecord& record);
    void editGroupEnded();
    // An operation's group opened and closed (edited() carries its number in between).
    void operationBegan(int group);
    void operationEnded(int group);
    // A message did not reach the port; the change was not made.
    void sendRefused(std::uint8_t command, std::uint8_t id, std::uint8_t value);

  private:
    bool mapPointAllowed(MapId map, int point) const;
    enum class Delivery { Sent, OnPc, Failed };
    Delivery deliver(std::uint8_t command, std::uint8_t id, std::uint8_t value);
    // Stores a setup value that went to the unit (or stays on the PC), sets SetupChanged and says so.
    void storeSetupValue(int id, std::uint8_t plainValue, Delivery delivery);
    static int pointKey(MapId map, int point) { return mapIndex(map) * 128 + point; }

    EmuState& state_;
    EmuLink& link_;
    // Points changed but not yet sent (keys held down), with their value when last sent.
    QHash<int, double> unsent_;
    int groupDepth_ = 0;
    int groupNumber_ = 0;
};
