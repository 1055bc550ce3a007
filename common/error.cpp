// Records where the error was raised so the top-level report can name the address.
#include "common/error.h"

__attribute__((noinline)) EVarioError::EVarioError(const std::string& message)
    : std::runtime_error(message), raise_address_(__builtin_return_address(0)) {}
