// The unit of vertical speed that the gauge and the tools convert with.
#pragma once

inline constexpr double kFeetPerMetre = 3.28084;
