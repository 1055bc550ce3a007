// The simulator link's logic against an in-process add-on that stands in for the
// platform: handshake, record layout, limits, retries (sleeps counted, not slept),
// result codes, and what a faulty add-on can and cannot do to the caller.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/simlink_ipc.h"
#include "simlink/request_area.h"
#include "simlink/simlink_user.h"

namespace {

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) { return simlink::LoadLe32(bytes.data() + at); }

// The identifier, offset and size of the record at `at`.
void ExpectRecord(const std::vector<uint8_t>& batch, size_t at, uint32_t identifier, uint32_t offset, uint32_t size) {
    SCOPED_TRACE(testing::Message() << "record at byte " << at);
    EXPECT_EQ(Le32(batch, at), identifier);
    EXPECT_EQ(Le32(batch, at + 4), offset);
    EXPECT_EQ(Le32(batch, at + 8), size);
}

// The add-on and the operating system in one object: offsets with the version words
// held fixed, a request area in process memory, and a record of everything asked.
class FakeAddOn final : public platform::SimLinkIpc {
public:
    // Set-up
    bool main_window = true;
    bool fallback_window = false;
    uint32_t message_number = 0xC0DE;
    uint16_t atom = 0xC001;
    enum class MappingFault { kNone, kNull, kExists } mapping_fault = MappingFault::kNone;
    bool view_fails = false;
    uint32_t add_on_version = 0x19980005;
    uint32_t sim_version = 0xFADE000B;
    int versions_from_pass = 1;  // the versions read 0 before this exchange
    int failing_sends = 0;       // the next this many sends fail; -1: all
    uint32_t send_error = 0;
    intptr_t reply = 1;
    uint32_t process_id = 4660;
    std::function<void(uint8_t*)> tamper;  // runs on the area after the records are carried out

    // Observations
    std::vector<std::vector<uint8_t>> batches;  // each delivered request, terminator included
    int send_calls = 0, sleeps = 0, find_calls = 0, atom_calls = 0;
    uint32_t slept_ms = 0;
    std::string atom_name, mapping_name;
    int live_atoms = 0, live_mappings = 0, live_views = 0;
    int32_t client_version = -1;
    std::array<uint8_t, 65536> space{};

    platform::SimWindowHandle FindTopWindowByClass(const char* class_name) override {
        ++find_calls;
        if (std::string(class_name) == "SIMLINKMAIN") return main_window ? 0x100 : 0;
        if (std::string(class_name) == "SIMHOSTMAIN") return fallback_window ? 0x200 : 0;
        return 0;
    }
    uint32_t RegisterMessageName(const char* name) override {
        EXPECT_STREQ(name, "SimLinkLib:IPC");
        return message_number;
    }
    uint16_t AddNamedAtom(const char* name) override {
        ++atom_calls;
        atom_name = name;
        if (atom) ++live_atoms;
        return atom;
    }
    void DeleteNamedAtom(uint16_t value) override {
        EXPECT_EQ(value, atom);
        --live_atoms;
    }
    platform::SimMappingHandle CreateNamedSharedMemory(const char* name, uint32_t size_bytes) override {
        EXPECT_EQ(size_bytes, 0x8000u);
        mapping_name = name;
        last_error_ = 0;
        if (mapping_fault == MappingFault::kNull) return 0;
        if (mapping_fault == MappingFault::kExists) last_error_ = platform::kErrorAlreadyExists;
        ++live_mappings;
        return 0x300;
    }
    uint8_t* MapSharedView(platform::SimMappingHandle mapping) override {
        EXPECT_EQ(mapping, 0x300u);
        if (view_fails) return nullptr;
        ++live_views;
        area_.assign(0x8000, 0xAA);  // not zero: the client must not rely on a clean area
        return area_.data();
    }
    void UnmapSharedView(uint8_t* view) override {
        EXPECT_EQ(view, area_.data());
        --live_views;
    }
    void CloseSharedMemory(platform::SimMappingHandle mapping) override {
        EXPECT_EQ(mapping, 0x300u);
        --live_mappings;
    }
    bool SendBlockingMessage(platform::SimWindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam,
                             uint32_t timeout_ms, intptr_t& answer) override {
        ++send_calls;
        EXPECT_EQ(message, message_number);
        EXPECT_EQ(wparam, atom);
        EXPECT_EQ(lparam, 0);
        EXPECT_EQ(timeout_ms, 2000u);
        EXPECT_NE(window, 0u);
        if (failing_sends != 0) {
            if (failing_sends > 0) --failing_sends;
            last_error_ = send_error;
            return false;
        }
        CarryOut();
        answer = reply;
        return true;
    }
    uint32_t LastErrorCode() override { return last_error_; }
    void SleepMilliseconds(uint32_t milliseconds) override {
        ++sleeps;
        slept_ms += milliseconds;
    }
    uint32_t CurrentProcessIdentifier() override { return process_id; }

    uint8_t* Area() { return area_.data(); }

private:
    void StoreVersions() {
        bool known = int(batches.size()) >= versions_from_pass;
        simlink::StoreLe32(&space[0x3304], known ? add_on_version : 0);
        simlink::StoreLe32(&space[0x3308], known ? sim_version : 0);
    }
    void CarryOut() {
        size_t at = 0;
        while (area_[at] != 0) {
            uint32_t id = simlink::LoadLe32(&area_[at]), size = simlink::LoadLe32(&area_[at + 8]);
            at += (id == 1 ? 16 : 12) + size;
        }
        batches.emplace_back(area_.begin(), area_.begin() + at + 4);
        StoreVersions();
        at = 0;
        while (area_[at] != 0) {
            uint32_t id = simlink::LoadLe32(&area_[at]), offset = simlink::LoadLe32(&area_[at + 4]),
                     size = simlink::LoadLe32(&area_[at + 8]);
            if (id == 1) {
                std::memcpy(&area_[at + 16], &space[offset], size);
                at += 16 + size;
            } else {
                std::memcpy(&space[offset], &area_[at + 12], size);
                if (offset == 0x330A) client_version = space[0x330A] | space[0x330B] << 8;
                StoreVersions();
                at += 12 + size;
            }
        }
        if (tamper) tamper(area_.data());
    }
    std::vector<uint8_t> area_;
    uint32_t last_error_ = 0;
};

class SimLinkTest : public ::testing::Test {
protected:
    void SetUp() override { UseSimLinkIpc(&fake); }
    void TearDown() override {
        IpcClose();
        UseSimLinkIpc(nullptr);
    }
    void Open() {
        uint32_t result = 99;
        ASSERT_TRUE(IpcOpen(0, result));
        ASSERT_EQ(result, ResultOk);
        fake.batches.clear();
        fake.sleeps = 0;
        fake.slept_ms = 0;
        fake.send_calls = 0;
    }
    size_t Queued() const { return IpcState().area_next - IpcState().area_start; }
    void ExpectReleased() { ExpectReleasedBy(fake); }
    static void ExpectReleasedBy(const FakeAddOn& add_on) {
        EXPECT_EQ(IpcState().area_start, nullptr);
        EXPECT_EQ(IpcState().ipc_atom, 0);
        EXPECT_EQ(IpcState().mapping_handle, 0u);
        EXPECT_EQ(add_on.live_atoms, 0);
        EXPECT_EQ(add_on.live_mappings, 0);
        EXPECT_EQ(add_on.live_views, 0);
    }
    FakeAddOn fake;
};

TEST_F(SimLinkTest, HandshakeSendsVersionReadsAndClientVersionOnceThenOpens) {
    fake.versions_from_pass = 3;
    fake.sim_version = 0xFADE1234;
    uint32_t result = 99;
    ASSERT_TRUE(IpcOpen(0, result));
    EXPECT_EQ(result, ResultOk);
    ASSERT_EQ(fake.batches.size(), 3u);

    // read 0x3304 (20 bytes), read 0x3308 (20), write 0x330A = EC 03 (14), terminator (4)
    const std::vector<uint8_t>& first = fake.batches[0];
    ASSERT_EQ(first.size(), 58u);
    ExpectRecord(first, 0, 1, 0x3304, 4);
    EXPECT_NE(Le32(first, 12), 0u);
    ExpectRecord(first, 20, 1, 0x3308, 4);
    ExpectRecord(first, 40, 2, 0x330A, 2);
    EXPECT_EQ(first[52], 0xEC);
    EXPECT_EQ(first[53], 0x03);
    EXPECT_EQ(Le32(first, 54), 0u);
    for (size_t pass = 1; pass < 3; ++pass) {
        EXPECT_EQ(fake.batches[pass].size(), 44u) << "pass " << pass + 1;
        EXPECT_EQ(Le32(fake.batches[pass], 40), 0u) << "pass " << pass + 1;
    }
    EXPECT_EQ(fake.client_version, 1004);
    EXPECT_EQ(fake.sleeps, 3);
    EXPECT_EQ(fake.slept_ms, 300u);

    SimLinkState state = IpcState();
    EXPECT_EQ(state.add_on_version, 0x19980005u);
    EXPECT_EQ(state.sim_version, 0x1234u);
    EXPECT_EQ(state.client_version, 1004u);
    EXPECT_EQ(state.area_next, state.area_start);
    EXPECT_EQ(fake.atom_name, "SimLinkLib:IPC:1234:1");
    EXPECT_EQ(fake.mapping_name, "SimLinkLib:IPC:1234:1");
}

TEST(SimLinkAreaName, IsProcessIdInUpperCaseHex) {
    EXPECT_EQ(simlink::AreaName(4660), "SimLinkLib:IPC:1234:1");
    EXPECT_EQ(simlink::AreaName(255), "SimLinkLib:IPC:FF:1");
    EXPECT_EQ(simlink::AreaName(0xFFFFFFFF), "SimLinkLib:IPC:FFFFFFFF:1");
}

TEST_F(SimLinkTest, VersionTestAndRequestedVersion) {
    struct Case {
        uint32_t add_on_version, sim_version, requested;
        bool fallback;
        uint32_t expected;
    };
    const Case cases[] = {
        {0x19980005, 0xFADE0000, 0, false, ResultOk},
        {0xFFFFFFFF, 0xFADEFFFF, 0, false, ResultOk},
        {0x19980004, 0xFADE000B, 0, false, ResultBadVersion},
        {0x19980004, 0xFADE000B, 0, true, ResultBadVersionFallback},
        {0x19980005, 0xFADF000B, 0, false, ResultBadVersion},
        {0x19980005, 0x0000000B, 0, true, ResultBadVersionFallback},
        {0x19980005, 0xFADE000B, 11, false, ResultOk},
        {0x19980005, 0xFADE000B, 12, false, ResultWrongSimVersion},
        {0x19980005, 0xFADE000B, 0xFADE000B, false, ResultWrongSimVersion},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.add_on_version << " " << c.sim_version << " " << c.requested
                                        << " fallback " << c.fallback);
        fake.add_on_version = c.add_on_version;
        fake.sim_version = c.sim_version;
        fake.main_window = !c.fallback;
        fake.fallback_window = c.fallback;
        uint32_t result = 99;
        EXPECT_EQ(IpcOpen(c.requested, result), c.expected == ResultOk);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(fake.batches.size(), 1u);
        if (c.expected == ResultOk) {
            EXPECT_EQ(IpcState().sim_version, c.sim_version & 0xFFFF);
        }
        IpcClose();
        ExpectReleased();
        fake.batches.clear();
    }
}

TEST_F(SimLinkTest, ZeroVersionsMakeFivePassesThenFail) {
    for (bool fallback : {false, true}) {
        SCOPED_TRACE(fallback ? "SIMHOSTMAIN" : "SIMLINKMAIN");
        fake.versions_from_pass = 100;
        fake.main_window = !fallback;
        fake.fallback_window = fallback;
        fake.batches.clear();
        fake.sleeps = 0;
        uint32_t result = 99;
        EXPECT_FALSE(IpcOpen(0, result));
        EXPECT_EQ(result, fallback ? ResultBadVersionFallback : ResultBadVersion);
        ASSERT_EQ(fake.batches.size(), 5u);
        EXPECT_EQ(fake.batches[0].size(), 58u);
        EXPECT_EQ(fake.batches[4].size(), 44u);
        EXPECT_EQ(fake.sleeps, 5);
        ExpectReleased();
    }
}

TEST_F(SimLinkTest, FailedOpenLeavesNothingBehind) {
    struct Case {
        const char* name;
        std::function<void(FakeAddOn&)> fault;
        uint32_t expected;
    };
    const Case cases[] = {
        {"no window", [](FakeAddOn& f) { f.main_window = false; }, ResultNoWindow},
        {"no message", [](FakeAddOn& f) { f.message_number = 0; }, ResultNoMessage},
        {"no atom", [](FakeAddOn& f) { f.atom = 0; }, ResultNoAtom},
        {"no mapping", [](FakeAddOn& f) { f.mapping_fault = FakeAddOn::MappingFault::kNull; }, ResultNoMapping},
        {"mapping exists", [](FakeAddOn& f) { f.mapping_fault = FakeAddOn::MappingFault::kExists; }, ResultNoMapping},
        {"no view", [](FakeAddOn& f) { f.view_fails = true; }, ResultNoView},
        {"send times out", [](FakeAddOn& f) { f.failing_sends = -1; }, ResultTimedOut},
        {"send fails", [](FakeAddOn& f) { f.failing_sends = -1, f.send_error = 1400; }, ResultSendFailed},
        {"reply 0", [](FakeAddOn& f) { f.reply = 0; }, ResultRejected},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeAddOn local;
        UseSimLinkIpc(&local);
        c.fault(local);
        uint32_t result = 99;
        EXPECT_FALSE(IpcOpen(0, result));
        EXPECT_EQ(result, c.expected);
        ExpectReleasedBy(local);
        if (c.expected == ResultNoWindow) {
            EXPECT_EQ(local.atom_calls, 0);
            EXPECT_EQ(local.find_calls, 2);  // both classes tried
        }
        // Closed: the queue operations answer at once, without sleeping.
        int16_t value = 7;
        EXPECT_FALSE(IpcRead(kVerticalSpeedOffset, 2, &value, result));
        EXPECT_EQ(result, ResultNotOpen);
        EXPECT_FALSE(IpcProcess(result));
        EXPECT_EQ(result, ResultNotOpen);
        int sleeps_before = local.sleeps;
        EXPECT_FALSE(IpcWrite(0, 2, &value, result));
        EXPECT_EQ(result, ResultNotOpen);
        EXPECT_EQ(local.sleeps, sleeps_before);
        UseSimLinkIpc(&fake);
    }
}

TEST_F(SimLinkTest, OpenOnOpenLinkChangesNothing) {
    Open();
    int16_t value = 0;
    uint32_t result = 99;
    ASSERT_TRUE(IpcRead(kVerticalSpeedOffset, 2, &value, result));
    SimLinkState before = IpcState();
    EXPECT_FALSE(IpcOpen(0, result));
    EXPECT_EQ(result, ResultAlreadyOpen);
    SimLinkState after = IpcState();
    EXPECT_EQ(after.area_start, before.area_start);
    EXPECT_EQ(after.area_next, before.area_next);
    EXPECT_EQ(after.sim_version, before.sim_version);
    EXPECT_EQ(after.add_on_version, before.add_on_version);
    EXPECT_TRUE(fake.batches.empty());
}

TEST_F(SimLinkTest, TwoReadsArePackedAndDelivered) {
    Open();
    fake.space[0x0842] = 0x38;  // -456 = 0xFE38
    fake.space[0x0843] = 0xFE;
    simlink::StoreLe32(&fake.space[0x1000], 0xDEADBEEF);
    int16_t vertical_speed = 0;
    uint32_t word = 0, result = 99;
    ASSERT_TRUE(IpcRead(kVerticalSpeedOffset, 2, &vertical_speed, result));
    ASSERT_TRUE(IpcRead(0x1000, 4, &word, result));
    EXPECT_EQ(vertical_speed, 0) << "written before the exchange";
    ASSERT_TRUE(IpcProcess(result));
    EXPECT_EQ(result, ResultOk);
    ASSERT_EQ(fake.batches.size(), 1u);
    const std::vector<uint8_t>& batch = fake.batches[0];
    ASSERT_EQ(batch.size(), 42u);  // 0-17, 18-37, terminator 38-41
    ExpectRecord(batch, 0, 1, 0x0842, 2);
    EXPECT_EQ(batch[16], 0);
    EXPECT_EQ(batch[17], 0);
    ExpectRecord(batch, 18, 1, 0x1000, 4);
    EXPECT_EQ(Le32(batch, 34), 0u);
    EXPECT_EQ(Le32(batch, 38), 0u);
    EXPECT_EQ(vertical_speed, -456);
    EXPECT_EQ(word, 0xDEADBEEFu);
    EXPECT_EQ(Queued(), 0u);
    EXPECT_FALSE(IpcProcess(result));
    EXPECT_EQ(result, ResultNothingQueued);
    EXPECT_EQ(fake.send_calls, 1);
}

TEST_F(SimLinkTest, RecordsMustFitWithTheTerminator) {
    Open();
    struct Case {
        bool write;
        uint32_t size;
        bool fits;
    };
    const Case cases[] = {
        {false, 32492, true},        {false, 32493, false},      {true, 32496, true},        {true, 32497, false},
        {false, 4294967280u, false}, {true, 4294967280u, false}, {false, 0xFFFFFFFF, false}, {true, 0xFFFFFFFF, false},
    };
    static std::vector<uint8_t> buffer(32768, 0x5A);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.write ? "write " : "read ") << c.size);
        uint32_t result = 99;
        bool queued = c.write ? IpcWrite(0, c.size, buffer.data(), result) : IpcRead(0, c.size, buffer.data(), result);
        EXPECT_EQ(queued, c.fits);
        EXPECT_EQ(result, c.fits ? ResultOk : ResultAreaFull);
        EXPECT_EQ(Queued(), c.fits ? (c.write ? 12 : 16) + c.size : 0u);
        IpcClose();
        Open();
    }
    // A refused record leaves the ones before it queued.
    uint32_t result = 99;
    ASSERT_TRUE(IpcRead(0, 100, buffer.data(), result));
    EXPECT_FALSE(IpcRead(0, 32392 - 15, buffer.data(), result));
    EXPECT_EQ(result, ResultAreaFull);
    EXPECT_EQ(Queued(), 116u);
    EXPECT_TRUE(IpcRead(0, 32392 - 16, buffer.data(), result));
}

TEST_F(SimLinkTest, SendIsTriedTenTimesWithSleeps) {
    struct Case {
        int failing;
        uint32_t error;
        uint32_t expected;
        int sends, sleeps;
    };
    const Case cases[] = {
        {-1, 0, ResultTimedOut, 10, 10},
        {-1, 5, ResultSendFailed, 10, 10},
        {9, 0, ResultOk, 10, 9},
        {2, 5, ResultOk, 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "failing " << c.failing << " error " << c.error);
        Open();
        fake.failing_sends = c.failing;
        fake.send_error = c.error;
        fake.space[0x0842] = 5;
        int16_t value = -1;
        uint32_t result = 99;
        ASSERT_TRUE(IpcRead(kVerticalSpeedOffset, 2, &value, result));
        EXPECT_EQ(IpcProcess(result), c.expected == ResultOk);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(fake.send_calls, c.sends);
        EXPECT_EQ(fake.sleeps, c.sleeps);
        EXPECT_EQ(fake.slept_ms, 100u * c.sleeps);
        EXPECT_EQ(value, c.expected == ResultOk ? 5 : -1);
        EXPECT_EQ(Queued(), 0u) << "the queue is empty whatever the outcome";
        EXPECT_NE(IpcState().area_start, nullptr) << "a failed exchange does not close the link";
        IpcClose();
        fake.failing_sends = 0;
    }
}

// The add-on's window is gone: one quick attempt, no sleep, and the link is closed, so
// that the next frames cost nothing and the main loop can open the link again.
TEST_F(SimLinkTest, GoneWindowClosesTheLinkAtOnce) {
    Open();
    fake.failing_sends = -1;
    fake.send_error = platform::kErrorInvalidWindowHandle;
    int16_t value = -1;
    uint32_t result = 99;
    ASSERT_TRUE(IpcRead(kVerticalSpeedOffset, 2, &value, result));
    EXPECT_FALSE(IpcProcess(result));
    EXPECT_EQ(result, ResultSendFailed);
    EXPECT_EQ(fake.send_calls, 1);
    EXPECT_EQ(fake.sleeps, 0);
    EXPECT_EQ(value, -1);
    EXPECT_FALSE(IpcIsOpen());
    ExpectReleased();

    // The next frame's read answers 9 at once; the add-on back, the link opens again.
    EXPECT_FALSE(IpcRead(kVerticalSpeedOffset, 2, &value, result));
    EXPECT_EQ(result, ResultNotOpen);
    fake.failing_sends = 0;
    fake.space[0x0842] = 7;
    Open();
    EXPECT_TRUE(IpcIsOpen());
    ASSERT_TRUE(IpcRead(kVerticalSpeedOffset, 2, &value, result));
    ASSERT_TRUE(IpcProcess(result));
    EXPECT_EQ(value, 7);
}

TEST_F(SimLinkTest, ReplyOtherThanOneIsRejected) {
    for (intptr_t reply : {0, 2}) {
        SCOPED_TRACE(reply);
        Open();
        fake.reply = reply;
        fake.space[0x0842] = 5;
        int16_t value = -1;
        uint32_t result = 99;
        ASSERT_TRUE(IpcRead(kVerticalSpeedOffset, 2, &value, result));
        EXPECT_FALSE(IpcProcess(result));
        EXPECT_EQ(result, ResultRejected);
        EXPECT_EQ(value, -1);
        EXPECT_EQ(Queued(), 0u);
        IpcClose();
        fake.reply = 1;
    }
}

TEST_F(SimLinkTest, ReadsWithoutSizeOrDestinationAreCarriedButNotCopied) {
    Open();
    fake.space[0x0842] = 9;
    int16_t untouched = -1;
    uint32_t result = 99;
    ASSERT_TRUE(IpcRead(kVerticalSpeedOffset, 0, &untouched, result));
    ASSERT_TRUE(IpcRead(kVerticalSpeedOffset, 2, nullptr, result));
    ASSERT_TRUE(IpcProcess(result));
    ASSERT_EQ(fake.batches.size(), 1u);
    EXPECT_EQ(fake.batches[0].size(), 16u + 18u + 4u);
    EXPECT_EQ(untouched, -1);
}

TEST_F(SimLinkTest, WriteCopiesTheSourceWhenQueued) {
    Open();
    uint8_t source[3] = {1, 2, 3};
    uint32_t result = 99;
    ASSERT_TRUE(IpcWrite(0x2000, 3, source, result));
    source[0] = 99;
    ASSERT_TRUE(IpcProcess(result));
    EXPECT_EQ(fake.space[0x2000], 1);
    EXPECT_EQ(fake.space[0x2002], 3);
}

TEST_F(SimLinkTest, FaultyAddOnCannotMakeTheWalkOverrunOrLoop) {
    struct Case {
        const char* name;
        std::function<void(uint8_t*)> tamper;
        bool first_delivered;
    };
    const Case cases[] = {
        {"larger size", [](uint8_t* a) { simlink::StoreLe32(a + 8, 64); }, false},
        {"huge size", [](uint8_t* a) { simlink::StoreLe32(a + 8, 0xFFFFFFF0); }, false},
        {"other target", [](uint8_t* a) { simlink::StoreLe32(a + 12, 2); }, false},
        {"target out of range", [](uint8_t* a) { simlink::StoreLe32(a + 12, 77); }, false},
        {"unknown identifier", [](uint8_t* a) { simlink::StoreLe32(a, 7); }, false},
        {"second record dropped", [](uint8_t* a) { simlink::StoreLe32(a + 18, 0x0101); }, true},
        {"no terminator", [](uint8_t* a) { std::memset(a + 18, 2, 0x8000 - 18); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        fake.space[0x0842] = 0x11;
        fake.space[0x0843] = 0x22;
        fake.tamper = c.tamper;
        struct Guarded {
            int16_t value = -1;
            uint8_t guard[64];
        } first, second;
        std::memset(first.guard, 0xEE, sizeof first.guard);
        uint32_t result = 99;
        ASSERT_TRUE(IpcRead(kVerticalSpeedOffset, 2, &first.value, result));
        ASSERT_TRUE(IpcRead(kVerticalSpeedOffset, 2, &second.value, result));
        EXPECT_TRUE(IpcProcess(result));
        EXPECT_EQ(first.value, c.first_delivered ? 0x2211 : -1);
        for (uint8_t byte : first.guard) ASSERT_EQ(byte, 0xEE);
        EXPECT_NE(second.value, 0x2222);
        IpcClose();
        fake.tamper = nullptr;
    }
}

TEST_F(SimLinkTest, CloseIsHarmlessWhenRepeated) {
    IpcClose();
    Open();
    IpcClose();
    ExpectReleased();
    IpcClose();
    ExpectReleased();
    EXPECT_EQ(IpcState().sim_window, 0u);
    EXPECT_EQ(IpcState().ipc_message, 0u);
    EXPECT_EQ(IpcState().area_next, nullptr);
    // The link opens again with the same area name.
    Open();
    EXPECT_EQ(fake.mapping_name, "SimLinkLib:IPC:1234:1");
}

// The real platform calls: a named block is never joined, and with no add-on there is no window.
TEST(SimLinkPlatform, SharedMemoryIsCreatedExclusively) {
    platform::SimLinkIpc& ipc = platform::SystemSimLinkIpc();
    std::string name = "SimLinkTest:" + std::to_string(ipc.CurrentProcessIdentifier()) + ":exclusive";
    platform::SimMappingHandle first = ipc.CreateNamedSharedMemory(name.c_str(), 0x8000);
    ASSERT_NE(first, 0u);
    EXPECT_NE(ipc.LastErrorCode(), platform::kErrorAlreadyExists);
    uint8_t* view = ipc.MapSharedView(first);
    ASSERT_NE(view, nullptr);
    view[0x7FFF] = 1;
    platform::SimMappingHandle second = ipc.CreateNamedSharedMemory(name.c_str(), 0x8000);
    EXPECT_EQ(ipc.LastErrorCode(), platform::kErrorAlreadyExists);
    if (second) ipc.CloseSharedMemory(second);
    ipc.UnmapSharedView(view);
    ipc.CloseSharedMemory(first);
    EXPECT_EQ(ipc.FindTopWindowByClass("SIMLINKTEST-NO-SUCH-CLASS"), 0u);
}

}  // namespace
