// SimLinkUser: the client side of the SIMLINK inter-process protocol. Queue reads and
// writes of simulator offsets, carry the batch out in one blocking exchange with the
// add-on, close. Every operation reports by a boolean and a numeric result code.
#pragma once

#include <cstdint>

namespace platform {
class SimLinkIpc;
}

enum SimLinkResult : uint32_t {
    ResultOk = 0,
    ResultAlreadyOpen = 1,
    ResultNoWindow = 2,
    ResultNoMessage = 3,
    ResultNoAtom = 4,
    ResultNoMapping = 5,
    ResultNoView = 6,
    ResultBadVersion = 7,
    ResultWrongSimVersion = 8,
    ResultNotOpen = 9,
    ResultNothingQueued = 10,
    ResultTimedOut = 11,
    ResultSendFailed = 12,
    ResultRejected = 13,
    ResultBadVersionFallback = 14,
    ResultAreaFull = 15,
};

// Simulator offset of the vertical speed: signed 16-bit, metres per minute, descent positive.
inline constexpr uint32_t kVerticalSpeedOffset = 0x0842;

// Opens the link and makes the version handshake; 0 accepts any simulator version.
bool IpcOpen(uint32_t requested_sim_version, uint32_t& result);

// Releases the atom, the view and the mapping; harmless when closed or repeated.
void IpcClose();

// True while the link is open. An exchange that finds the add-on's window gone closes it.
bool IpcIsOpen();

// Queues a read; the destination is written by the next successful IpcProcess.
bool IpcRead(uint32_t offset, uint32_t size, void* destination, uint32_t& result);

// Queues a write; the bytes are copied from the source during this call.
bool IpcWrite(uint32_t offset, uint32_t size, const void* source, uint32_t& result);

// Carries out every queued record in one exchange and empties the queue. When the
// add-on's window no longer exists the link is closed at once (result 12) instead of
// trying again against a window that cannot answer.
bool IpcProcess(uint32_t& result);

// The client's own version number, sent to the add-on during the handshake.
inline constexpr uint32_t kClientVersion = 1004;

// What the module holds, for tests and diagnostics.
struct SimLinkState {
    uintptr_t sim_window;
    uint32_t ipc_message;
    uint16_t ipc_atom;
    uintptr_t mapping_handle;
    const uint8_t* area_start;
    const uint8_t* area_next;
    uint32_t add_on_version;
    uint32_t sim_version;
    uint32_t client_version;
};
SimLinkState IpcState();

// Puts another implementation of the platform calls in place (the unit tests' in-process
// add-on); null goes back to the system's. Only while the link is closed.
void UseSimLinkIpc(platform::SimLinkIpc* ipc);
