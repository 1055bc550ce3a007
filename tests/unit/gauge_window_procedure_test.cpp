// The gauge window procedure's bookkeeping for the main loop: key marks, the minimised
// state and the quit message. Moves and sizes need a real window (tests/e2e).
#include <gtest/gtest.h>

#include "gauge/gauge_window.h"
#include "gauge/window_procedure.h"
#include "platform/window.h"

namespace {

using namespace platform;

TEST(GaugeWindowProc, KeyMessagesSetAndClearTheirMarkOnly) {
    struct Step {
        uint32_t message;
        uintptr_t code;
        bool escape_after, f12_after;
    };
    const Step steps[] = {
        {kWmKeyDown, kVkEscape, true, false},
        {kWmKeyDown, kVkF12, true, true},
        {kWmKeyDown, kVkF12, true, true},  // auto-repeat
        {kWmKeyUp, kVkEscape, false, true},
        {kWmKeyDown, 256 + kVkEscape, false, true},  // past the table: ignored, no wrap
        {kWmKeyUp, 300, false, true},
        {kWmKeyUp, kVkF12, false, false},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(GaugeWindowProc(nullptr, step.message, step.code, 1), 0);
        EXPECT_EQ(KeyState[kVkEscape], step.escape_after) << "after message " << step.message << " code " << step.code;
        EXPECT_EQ(KeyState[kVkF12], step.f12_after) << "after message " << step.message << " code " << step.code;
    }
}

TEST(GaugeWindowProc, OnlyTheMinimisedWordOfActivationCounts) {
    struct Case {
        int activation, minimised;
        bool active_after;
    };
    const Case cases[] = {{kWaInactive, 1, false}, {kWaActive, 1, false}, {kWaActive, 0, true}, {kWaInactive, 0, true}};
    for (const Case& c : cases) {
        GaugeWindowProc(nullptr, kWmActivate, static_cast<uintptr_t>(MakeLongParam(c.activation, c.minimised)), 0);
        EXPECT_EQ(WindowActive, c.active_after) << "activation " << c.activation << " minimised " << c.minimised;
    }
}

TEST(GaugeWindowProc, CloseAsksTheLoopToEndWithCodeZero) {
    WindowMessage message;
    while (PeekWindowMessage(message)) {}
    EXPECT_EQ(GaugeWindowProc(nullptr, kWmClose, 0, 0), 0);
    ASSERT_TRUE(PeekWindowMessage(message));
    EXPECT_EQ(message.message, kWmQuit);
    EXPECT_EQ(message.wparam, 0u);
    EXPECT_FALSE(PeekWindowMessage(message));
}

}  // namespace
