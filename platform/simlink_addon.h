// The add-on's side of the simulator link, for the development simulator: a top-level
// window of a given class that answers the registered message by carrying out the
// request area named by the atom. Real ones: win32/ (a window), linux/ (a socket).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class SimLinkAddOnHandler {
public:
    virtual ~SimLinkAddOnHandler() = default;
    // The window is there and answers from now on; `where` tells how it is found.
    virtual void OnReady(const std::string& where) = 0;
    // The registered message arrived. `area` is the client's request area of
    // `area_bytes` bytes, or null when the atom names none that can be opened.
    // Returns the reply.
    virtual intptr_t OnIpcMessage(uint8_t* area, size_t area_bytes) = 0;
    // Asked after every reply: true ends ServeSimLinkAddOn.
    virtual bool ShouldStop() = 0;
};

// Offers a window of the class and answers the message registered under
// `message_name` (any other message is answered 0 at once) until the handler asks
// to stop or the process is told to end. False, with the reason, when the window
// cannot be offered.
bool ServeSimLinkAddOn(const char* class_name, const char* message_name, SimLinkAddOnHandler& handler,
                       std::string& error);

}  // namespace platform
