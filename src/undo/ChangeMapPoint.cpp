#include "undo/ChangeMapPoint.h"

#include "undo/EditHistory.h"
#include "undo/UndoCommands.h"

#include <algorithm>

ChangeMapPoint::ChangeMapPoint(EditHistory& history, const EditRecord& record, QUndoCommand* parent)
    : EditStep(history, record.mergeable, parent), map_(record.map) {
    add({record.point, record.oldValue, record.newValue});
}

int ChangeMapPoint::id() const {
    return kChangeMapPointId;
}

bool ChangeMapPoint::mergeWith(const QUndoCommand* other) {
    const auto* next = static_cast<const ChangeMapPoint*>(other);
    if (!mergeable() || !next->mergeable() || !open() || next->map_ != map_)
        return false;
    for (const Change& c : next->changes_)
        add(c);
    // A drag that ends where it began changed nothing: no step.
    setObsolete(std::all_of(changes_.cbegin(), changes_.cend(),
                            [](const Change& c) { return c.oldValue == c.newValue; }));
    return true;
}

bool ChangeMapPoint::takeOver(const EditRecord& r) {
    if (r.kind != EditRecord::Kind::MapPoint || r.map != map_)
        return false;
    for (Change& c : changes_) {
        if (c.point == r.point) {
            c.newValue = r.newValue;
            return true;
        }
    }
    return false;
}

void ChangeMapPoint::add(const Change& change) {
    for (Change& c : changes_) {
        if (c.point == change.point) {
            c.newValue = change.newValue;
            return;
        }
    }
    changes_ << change;
    updateText();
}

void ChangeMapPoint::updateText() {
    const QString name = QString::fromLatin1(mapInfo(map_).name);
    setText(changes_.size() == 1 ? QStringLiteral("%1 point %2").arg(name).arg(changes_.first().point)
                                 : QStringLiteral("%1, %2 points").arg(name).arg(changes_.size()));
}

bool ChangeMapPoint::apply(bool toOld) {
    EditRecord r;
    r.kind = EditRecord::Kind::MapPoint;
    r.map = map_;
    const auto sendOne = [&](const Change& c) {
        r.point = c.point;
        r.oldValue = c.oldValue;
        r.newValue = c.newValue;
        return history().apply(r, toOld);
    };
    if (toOld)
        return std::all_of(changes_.crbegin(), changes_.crend(), sendOne);
    return std::all_of(changes_.cbegin(), changes_.cend(), sendOne);
}
