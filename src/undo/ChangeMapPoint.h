#pragma once

#include "undo/EditStep.h"

#include <QList>

// Points of one map changed: one edit, or a whole drag or held key merged into one step. Undo
// sends the points back in the reverse order of their first change, redo in that order.
class ChangeMapPoint : public EditStep {
  public:
    ChangeMapPoint(EditHistory& history, const EditRecord& record, QUndoCommand* parent = nullptr);

    int id() const override;
    // A drag's next edit on the same map, while the run is open.
    bool mergeWith(const QUndoCommand* other) override;
    // The same point again inside an operation: its new value. False for any other point.
    bool takeOver(const EditRecord& record) override;

  protected:
    bool apply(bool toOld) override;

  private:
    struct Change {
        int point = 0;
        double oldValue = 0;
        double newValue = 0;
    };
    void add(const Change& change);
    void updateText();

    MapId map_;
    QList<Change> changes_;
};
