// SPDX-License-Identifier: MIT
#pragma once

#include "run_types.h"

#include <stop_token>
#include <string>
#include <string_view>

namespace tollamere {

// The bevel size, light angle and light elevation texts, as typed.
EffectParameters ReadEffectParameters(std::string_view bevelSizeText, std::string_view lightAngleText,
                                      std::string_view lightElevationText, const std::string& decimalSeparator);

// The "Start Converting" command without its window: checks the list and the
// folder, then converts every item on worker threads, writing exactly what a
// one-by-one run in list order writes. Each item ends written or failed with
// its reasons. A stop request lets items already started end and starts no
// other; the summary then says the run was stopped.
ConversionSummary RunConversion(const ConversionRequest& request, ConversionObserver& observer,
                                std::stop_token stopToken = {});

} // namespace tollamere
