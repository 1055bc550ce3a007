// The message of the error a call raises, for tests that compare messages whole.
#pragma once

#include <string>

#include "common/error.h"

// The message of the EVarioError that the call raises, or "(nothing raised)".
template <class Call>
std::string RaisedMessage(Call call) {
    try {
        call();
    } catch (const EVarioError& error) {
        return error.what();
    }
    return "(nothing raised)";
}
