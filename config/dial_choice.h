// The face the configuration chooses: DIAL, SCALE and UNITS of [GAUGE] combined into
// one dial scale, and the check of DIALIMAGE's file name. Settings reads the keys.
#pragma once

#include <string_view>

#include "config/dial_scale.h"

// The dial of DIAL (a built-in face; empty for the original one), overridden by SCALE
// when that is not empty, in the unit UNITS names. DIAL and UNITS are checked even when
// SCALE or DIAL makes them unused, so that a mistyped key never goes unnoticed. Raises
// an error naming the known values or the broken SCALE rule.
DialScale ChooseDial(std::string_view dial, std::string_view scale, std::string_view units);

// DIALIMAGE names a file in the working directory: raises an error for a name that
// holds a folder or a drive (separators or a colon).
void CheckDialImageName(std::string_view name);
