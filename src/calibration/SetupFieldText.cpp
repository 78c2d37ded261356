#include "calibration/SetupFieldText.h"

#include "calibration/SetupParameters.h"

SetupFieldText describeSetupByte(int id, int plain) {
    const SetupParameter* p = setupParameter(id);
    if (!p)
        return {};
    const auto wire = static_cast<std::uint8_t>(plain + 1);
    return {QString::fromUtf8(p->label).trimmed(), describeWire(*p, wire)};
}
