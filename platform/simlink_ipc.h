// The operating-system calls of the simulator link (window lookup, registered message,
// global atom, named shared memory, blocking send, sleep), behind one interface so that
// the unit tests can put an in-process add-on in their place. Real ones: win32/, linux/.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Last-error values the link looks at (the Win32 codes; the Linux layer uses the same).
inline constexpr uint32_t kErrorAlreadyExists = 183;
inline constexpr uint32_t kErrorInvalidWindowHandle = 1400;

// Opaque handles: 0 means none.
using SimWindowHandle = uintptr_t;
using SimMappingHandle = uintptr_t;

class SimLinkIpc {
public:
    virtual ~SimLinkIpc() = default;

    // A top-level window of the class, or 0 (FindWindowExA with no parent and any title).
    virtual SimWindowHandle FindTopWindowByClass(const char* class_name) = 0;

    // The message number registered for the name, or 0 (RegisterWindowMessageA).
    virtual uint32_t RegisterMessageName(const char* name) = 0;

    // A global atom for the name, or 0 (GlobalAddAtomA / GlobalDeleteAtom).
    virtual uint16_t AddNamedAtom(const char* name) = 0;
    virtual void DeleteNamedAtom(uint16_t atom) = 0;

    // A new named read-write shared memory block of `size_bytes`, or 0. When a block of
    // that name exists already, LastErrorCode() answers kErrorAlreadyExists afterwards
    // (the call may still have returned a handle, which the caller must close). On Linux
    // the name is the process's own and the block travels with each message instead.
    virtual SimMappingHandle CreateNamedSharedMemory(const char* name, uint32_t size_bytes) = 0;

    // Maps the whole block read-write, or null. UnmapSharedView takes the same pointer.
    virtual uint8_t* MapSharedView(SimMappingHandle mapping) = 0;
    virtual void UnmapSharedView(uint8_t* view) = 0;
    virtual void CloseSharedMemory(SimMappingHandle mapping) = 0;

    // Sends a message and waits for the reply without handling the caller's own messages
    // meanwhile (SendMessageTimeoutA with SMTO_BLOCK). False on failure or time-out; when
    // the window no longer exists, LastErrorCode() answers kErrorInvalidWindowHandle.
    virtual bool SendBlockingMessage(SimWindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam,
                                     uint32_t timeout_ms, intptr_t& reply) = 0;

    // The last error of this thread (GetLastError).
    virtual uint32_t LastErrorCode() = 0;

    virtual void SleepMilliseconds(uint32_t milliseconds) = 0;
    virtual uint32_t CurrentProcessIdentifier() = 0;
};

// The platform's real implementation; one per process.
SimLinkIpc& SystemSimLinkIpc();

}  // namespace platform
