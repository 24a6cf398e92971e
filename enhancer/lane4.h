// The four-lane vectors of dsp/lane4.h under the enhancer's names.
#pragma once

#include "dsp/lane4.h"

namespace orq::enhancer {

using dsp::anyLane;
using dsp::kLaneCount;
using dsp::Lane4;
using dsp::loadLane4;
using dsp::Mask4;
using dsp::select;
using dsp::splat;
using dsp::storeLane4;

} // namespace orq::enhancer
