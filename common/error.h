// The system's one general error type. Every subsystem raises it with the message
// text; the top-level report in app/ is the only place that catches it.
#pragma once

#include <stdexcept>
#include <string>

class EVarioError : public std::runtime_error {
public:
    // The kind named in the top-level report.
    static constexpr const char* kKind = "EVarioError";

    explicit EVarioError(const std::string& message);

    // Code address of the raise, shown by the top-level report.
    const void* RaiseAddress() const { return raise_address_; }

private:
    const void* raise_address_;
};
