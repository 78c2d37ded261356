#pragma once

#include "link/EmuIdentity.h"

#include <QString>

#include <optional>

// How a whole-image write ended. Only Written means the unit holds what was sent.
struct WriteResult {
    enum class Status {
        Written,          // the read-back matched
        NothingToWrite,   // no complete calibration is loaded
        NoUnit,           // nothing answered the identify before the write
        WrongModel,       // a unit of another model is on the port; nothing was sent
        PortFailed,       // the image did not leave the PC
        ReadBackShort,    // the unit sent back fewer than 481 bytes
        ReadBackMismatch, // the unit holds something else than was sent
        Busy,             // another flow holds the link; nothing was sent
    };
    Status status = Status::NoUnit;
    EmuIdentity unit; // what answered the identify
    int expectedModel = 0;
    int received = 0;  // bytes of the read-back
    int differing = 0; // positions that differ after the write
    bool ok() const { return status == Status::Written; }
    // The image left the PC, or should have: writing again may help.
    bool worthRetrying() const {
        return status == Status::PortFailed || status == Status::ReadBackShort ||
               status == Status::ReadBackMismatch;
    }
    // Plain words for the status bar and the retry question.
    QString text() const;
};

// Which controls of the link a flow enables or disables; unset ones stay as they are.
struct LinkControls {
    std::optional<bool> selector{}; // the port selector
    std::optional<bool> retry{};    // "Refresh Com Port"
    std::optional<bool> connect{};
    std::optional<bool> read{};
    std::optional<bool> write{};
};
