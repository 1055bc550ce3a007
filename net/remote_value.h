// The conversation with the cockpit data server: ask for one simulator value by its
// offset over NetClient and get it back as a number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Sends "offset,size,code" and a NUL, gathers the reply up to its NUL and converts it.
// No value when it is missing: NetClient not connected (at once, nothing sent); the
// connection lost during the query, where no whole reply within 2 s counts as lost
// (NetClient is then left disconnected); or a reply that is no number, which is told on
// standard error once until a good value or a lost connection, the connection staying.
std::optional<double> QueryRemoteValue(int32_t offset, const std::string& size, const std::string& code);

// The reply text in a received block: the bytes up to the first NUL, or all of them
// when there is none; empty for a count of 0 or less.
std::string ReplyText(const uint8_t* buffer, int32_t count);

// The reply's number: blanks (0x20) around, an optional sign, digits, optionally the
// decimal separator and digits, optionally an exponent. None for any other text and
// for values beyond the double range.
std::optional<double> ReplyNumber(const std::string& text, char decimal_separator);

// "'%s' is not a valid floating point value", the text quoted: what a reply that
// ReplyNumber does not take is told as.
std::string NotANumberMessage(const std::string& text);
