// The units of vertical speed that the gauge and the tools convert with.
#pragma once

inline constexpr double kFeetPerMetre = 3.28084;
inline constexpr double kKnotsPerMetrePerSecond = 1.943844;
