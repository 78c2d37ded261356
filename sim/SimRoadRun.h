#pragma once

#include "SimEngineModel.h"
#include "SimMixture.h"

#include "monitor/DataLog.h"

// A logged run of the road cycle without a pty: every period the frame the unit would send, decoded
// as the program decodes it and stored as the data logger stores it. The tune stays as given.
DataLog recordRoadRun(const SimEngineModel& engine, const SimMixture::UnitTune& tune, double fromSeconds,
                      double toSeconds, int periodMs = 40);
