// SimLinkUser: module state, the version handshake and the batch exchange with the
// SIMLINK add-on. The operating-system calls go through platform::SimLinkIpc.
#include "simlink/simlink_user.h"

#include <array>
#include <cstring>
#include <string>

#include "platform/simlink_ipc.h"
#include "simlink/request_area.h"

namespace {

using simlink::ReadTarget;

constexpr uint32_t kAddOnVersionOffset = 0x3304;
constexpr uint32_t kSimVersionOffset = 0x3308;
constexpr uint32_t kClientVersionOffset = 0x330A;
constexpr uint32_t kLowestAddOnVersion = 0x19980005;
constexpr uint32_t kSimVersionMark = 0xFADE;
constexpr int kHandshakePasses = 5;
constexpr int kHandshakeSleep_ms = 100;
constexpr int kSendAttempts = 10;
constexpr uint32_t kSendTimeout_ms = 2000;
constexpr int kRetrySleep_ms = 100;

struct ModuleState {
    platform::SimWindowHandle sim_window = 0;
    uint32_t ipc_message = 0;
    uint16_t ipc_atom = 0;
    platform::SimMappingHandle mapping_handle = 0;
    uint8_t* area_start = nullptr;
    uint8_t* area_next = nullptr;
    uint32_t add_on_version = 0;
    uint32_t sim_version = 0;
    // Destinations of the queued read records, indexed by their target field - 1.
    std::array<ReadTarget, simlink::kMaxReadRecords> targets{};
    size_t target_count = 0;
};

ModuleState state;
const uint32_t client_version = kClientVersion;
platform::SimLinkIpc* ipc_in_use = nullptr;

platform::SimLinkIpc& Ipc() { return ipc_in_use ? *ipc_in_use : platform::SystemSimLinkIpc(); }

bool Finish(uint32_t& result, uint32_t code) {
    result = code;
    return code == ResultOk;
}

size_t QueuedBytes() { return static_cast<size_t>(state.area_next - state.area_start); }

void EmptyQueue() {
    state.area_next = state.area_start;
    state.target_count = 0;
}

// The link is closed when the process ends; nothing else in the program closes it.
struct ModuleShutdown {
    ~ModuleShutdown() { IpcClose(); }
} module_shutdown;

}  // namespace

bool IpcOpen(uint32_t requested_sim_version, uint32_t& result) {
    if (state.area_start != nullptr) return Finish(result, ResultAlreadyOpen);
    state.add_on_version = 0;
    state.sim_version = 0;
    platform::SimLinkIpc& ipc = Ipc();

    bool fallback_class = false;
    state.sim_window = ipc.FindTopWindowByClass(simlink::kAddOnWindowClass);
    if (state.sim_window == 0) {
        state.sim_window = ipc.FindTopWindowByClass(simlink::kFallbackWindowClass);
        fallback_class = true;
    }
    if (state.sim_window == 0) return Finish(result, ResultNoWindow);

    state.ipc_message = ipc.RegisterMessageName(simlink::kIpcMessageName);
    if (state.ipc_message == 0) return Finish(result, ResultNoMessage);

    std::string area_name = simlink::AreaName(ipc.CurrentProcessIdentifier());
    state.ipc_atom = ipc.AddNamedAtom(area_name.c_str());
    if (state.ipc_atom == 0) {
        IpcClose();
        return Finish(result, ResultNoAtom);
    }
    state.mapping_handle = ipc.CreateNamedSharedMemory(area_name.c_str(), simlink::kAreaSizeBytes);
    // A block of that name that exists already is never shared.
    if (state.mapping_handle == 0 || ipc.LastErrorCode() == platform::kErrorAlreadyExists) {
        IpcClose();
        return Finish(result, ResultNoMapping);
    }
    state.area_start = ipc.MapSharedView(state.mapping_handle);
    if (state.area_start == nullptr) {
        IpcClose();
        return Finish(result, ResultNoView);
    }
    EmptyQueue();

    for (int pass = 1; pass <= kHandshakePasses && (state.add_on_version == 0 || state.sim_version == 0); ++pass) {
        bool ok = IpcRead(kAddOnVersionOffset, 4, &state.add_on_version, result) &&
                  IpcRead(kSimVersionOffset, 4, &state.sim_version, result) &&
                  (pass > 1 || IpcWrite(kClientVersionOffset, 2, &client_version, result)) && IpcProcess(result);
        if (!ok) {
            IpcClose();
            return false;
        }
        ipc.SleepMilliseconds(kHandshakeSleep_ms);
    }

    if (state.add_on_version < kLowestAddOnVersion || (state.sim_version >> 16) != kSimVersionMark) {
        IpcClose();
        return Finish(result, fallback_class ? ResultBadVersionFallback : ResultBadVersion);
    }
    state.sim_version &= 0xFFFF;
    if (requested_sim_version != 0 && requested_sim_version != state.sim_version) {
        IpcClose();
        return Finish(result, ResultWrongSimVersion);
    }
    return Finish(result, ResultOk);
}

void IpcClose() {
    state.sim_window = 0;
    state.ipc_message = 0;
    state.area_next = nullptr;
    state.target_count = 0;
    if (state.ipc_atom == 0 && state.area_start == nullptr && state.mapping_handle == 0) return;
    platform::SimLinkIpc& ipc = Ipc();
    if (state.ipc_atom != 0) {
        ipc.DeleteNamedAtom(state.ipc_atom);
        state.ipc_atom = 0;
    }
    if (state.area_start != nullptr) {
        ipc.UnmapSharedView(state.area_start);
        state.area_start = nullptr;
    }
    if (state.mapping_handle != 0) {
        ipc.CloseSharedMemory(state.mapping_handle);
        state.mapping_handle = 0;
    }
}

bool IpcIsOpen() { return state.area_start != nullptr; }

bool IpcRead(uint32_t offset, uint32_t size, void* destination, uint32_t& result) {
    if (state.area_start == nullptr) return Finish(result, ResultNotOpen);
    if (!simlink::RecordFits(QueuedBytes(), simlink::kReadHeaderBytes, size)) return Finish(result, ResultAreaFull);
    uint32_t target = 0;
    if (destination != nullptr && size != 0) {
        state.targets[state.target_count] = {destination, size, static_cast<uint32_t>(QueuedBytes())};
        target = static_cast<uint32_t>(++state.target_count);
    }
    simlink::StoreLe32(state.area_next, simlink::kReadRecordId);
    simlink::StoreLe32(state.area_next + 4, offset);
    simlink::StoreLe32(state.area_next + 8, size);
    simlink::StoreLe32(state.area_next + 12, target);
    state.area_next += simlink::kReadHeaderBytes;
    if (size != 0) {
        std::memset(state.area_next, 0, size);
        state.area_next += size;
    }
    return Finish(result, ResultOk);
}

bool IpcWrite(uint32_t offset, uint32_t size, const void* source, uint32_t& result) {
    if (state.area_start == nullptr) return Finish(result, ResultNotOpen);
    if (!simlink::RecordFits(QueuedBytes(), simlink::kWriteHeaderBytes, size)) return Finish(result, ResultAreaFull);
    simlink::StoreLe32(state.area_next, simlink::kWriteRecordId);
    simlink::StoreLe32(state.area_next + 4, offset);
    simlink::StoreLe32(state.area_next + 8, size);
    state.area_next += simlink::kWriteHeaderBytes;
    if (size != 0) {
        // A missing source writes zeros rather than reading through null.
        if (source != nullptr) std::memcpy(state.area_next, source, size);
        else std::memset(state.area_next, 0, size);
        state.area_next += size;
    }
    return Finish(result, ResultOk);
}

bool IpcProcess(uint32_t& result) {
    if (state.area_start == nullptr) return Finish(result, ResultNotOpen);
    if (state.area_next == state.area_start) return Finish(result, ResultNothingQueued);
    std::memset(state.area_next, 0, simlink::kTerminatorBytes);
    size_t target_count = state.target_count;
    EmptyQueue();

    platform::SimLinkIpc& ipc = Ipc();
    intptr_t reply = 0;
    bool sent = false;
    for (int attempt = 0; attempt < kSendAttempts && !sent; ++attempt) {
        sent = ipc.SendBlockingMessage(state.sim_window, state.ipc_message, state.ipc_atom, 0, kSendTimeout_ms, reply);
        if (sent) break;
        // The add-on has gone with its window: nothing will ever answer this link, so
        // it is closed now and the main loop opens it again when the add-on is back.
        if (ipc.LastErrorCode() == platform::kErrorInvalidWindowHandle) {
            IpcClose();
            return Finish(result, ResultSendFailed);
        }
        ipc.SleepMilliseconds(kRetrySleep_ms);
    }
    if (!sent) return Finish(result, ipc.LastErrorCode() == 0 ? ResultTimedOut : ResultSendFailed);
    if (reply != 1) return Finish(result, ResultRejected);

    simlink::DeliverReadData(state.area_start, state.targets.data(), target_count);
    EmptyQueue();
    return Finish(result, ResultOk);
}

SimLinkState IpcState() {
    return {state.sim_window, state.ipc_message,    state.ipc_atom,    state.mapping_handle, state.area_start,
            state.area_next,  state.add_on_version, state.sim_version, client_version};
}

void UseSimLinkIpc(platform::SimLinkIpc* ipc) { ipc_in_use = ipc; }
