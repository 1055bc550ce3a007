// The conversation with the cockpit data server: ask for one simulator value by its
// offset over NetClient and get it back as a number.
#pragma once

#include <cstdint>
#include <string>

// Sends "offset,size,code" and a NUL, waits for the reply and converts it. Returns 0
// when NetClient is not connected, at once, and when the connection is lost during the
// query (no reply within 2 s counts as lost), leaving NetClient disconnected. Raises on
// a reply that is no number.
double QueryRemoteValue(int32_t offset, const std::string& size, const std::string& code);

// The reply text in a received block: the bytes up to the first NUL, or all of them
// when there is none; empty for a count of 0 or less.
std::string ReplyText(const uint8_t* buffer, int32_t count);

// The reply's number: blanks (0x20) around, an optional sign, digits, optionally the
// decimal separator and digits, optionally an exponent. Raises "'%s' is not a valid
// floating point value" for any other text and for values beyond the double range.
double ReplyTextToFloat(const std::string& text, char decimal_separator);
