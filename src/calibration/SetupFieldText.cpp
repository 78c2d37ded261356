#include "calibration/SetupFieldText.h"
#include "link/ImageLayout.h"

#include "calibration/SetupParameters.h"

SetupFieldText describeSetupByte(int id, int plain) {
    const SetupParameter* p = setupParameter(id);
    if (!p)
        return {};
    const auto wire = wireFromPlain(plain);
    return {QString::fromUtf8(p->label).trimmed(), describeWire(*p, wire)};
}
