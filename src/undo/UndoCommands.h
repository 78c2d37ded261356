#pragma once

// The merge ids of the edit commands (QUndoCommand::id), in one place: the stack offers a new
// command to the one below it only when both have the same id.
enum UndoCommandId {
    kChangeMapPointId = 1,
    kChangeSetupValueId,
    kEditOperationId,
};
