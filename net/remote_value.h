// The conversation with the cockpit data server: ask for one simulator value by its
// offset over NetClient and get it back as a number.
#pragma once

#include <cstdint>
#include <string>

// Sends "offset,size,code" and a NUL, waits for the reply and converts it. Returns 0 at
// once when NetClient is not connected. Raises on a closed connection or a reply that
// is no number.
double QueryRemoteValue(int32_t offset, const std::string& size, const std::string& code);
