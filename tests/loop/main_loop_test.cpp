// The main loop's pass order, adjustment keys, re-creation, reconnection and reopening
// of the simulator link, against a scripted window system and clock (fake_gauge.cpp).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/main_loop.h"
#include "common/error.h"
#include "config/config_file.h"
#include "config/settings.h"
#include "fake_gauge.h"
#include "gauge/gauge_window.h"
#include "temp_dir.h"

namespace {

using namespace platform;
using testing::ElementsAre;

constexpr const char* kSimLink = "ZEVRA VARIOMETER v1.2 - [SIMLINK]";
constexpr const char* kNetwork = "ZEVRA VARIOMETER v1.2 - [NETWORK]";
constexpr const char* kNotConnected = "ZEVRA VARIOMETER v1.0 - [NOT CONNECTED]";
constexpr const char* kConnecting = "ZEVRA VARIO - Freeware [CONNECTING...]";
constexpr const char* kConnected = "ZEVRA VARIO - Freeware [NETWORK]";

class MainLoop : public testing::Test {
protected:
    TempWorkingDirectory dir;
    FakeClock clock;

    void SetUp() override {
        ResetFakeWorld();
        PositionMode = SizeMode = false;
        Recreating = true;
        Configure("");
    }
    void Configure(const std::string& ini) {
        dir.Write("ORVEXVari.INI", ini);
        ReadConfiguration();
    }
    std::string Ini(const char* section, const char* key) { return ConfigFile->ReadText(section, key, "<none>"); }
    // Queues the keys, then Escape, so that the loop ends after acting on them.
    void KeysThenEscape(std::initializer_list<int> keys) {
        for (int vk : keys) World.Key(vk);
        World.Key(kVkEscape);
    }
};

TEST_F(MainLoop, DrawsOnlyWhenNoMessageWasTakenAndEndsOnEscape) {
    Configure("[WINDOW]\nX=10\nY=20\n[WINSIZE]\nWIDTH=300\nHEIGHT=250\n");
    World.Message(0x0200);
    World.on_frame = [](int frames) {
        if (frames == 3) World.Key(kVkEscape);
    };
    RunMainLoop(clock);
    EXPECT_THAT(World.events, ElementsAre("create", "frame", "swap", "frame", "swap", "frame", "swap", "destroy"));
    ASSERT_EQ(World.creations.size(), 1u);
    const WindowCreation& first = World.creations[0];
    EXPECT_EQ(first.title, kSimLink);
    EXPECT_EQ(first.width, 300);
    EXPECT_EQ(first.height, 250);
    EXPECT_EQ(first.left, 10);
    EXPECT_EQ(first.top, 20);
    EXPECT_TRUE(first.recreating);  // start-up's value, held while the first window is built
    EXPECT_FALSE(Recreating);
    EXPECT_TRUE(KeyState[kVkEscape]);  // the loop does not clear Escape
}

TEST_F(MainLoop, CloseEndsInThePassThatTakesTheQuitMessageAndReleasesOnce) {
    World.Message(kWmClose);
    EXPECT_TRUE(RunMainLoop(clock));
    EXPECT_EQ(World.destroys, 1);
    EXPECT_EQ(World.frames, 0);
}

TEST_F(MainLoop, AnyQuitMessageOrEscapeIsANormalEnd) {
    World.Message(kWmQuit, 7);
    EXPECT_TRUE(RunMainLoop(clock));
    ResetFakeWorld();
    World.Key(kVkEscape);
    EXPECT_TRUE(RunMainLoop(clock));
}

TEST_F(MainLoop, MinimisedWindowSwapsWithoutDrawing) {
    WindowActive = false;
    World.on_swap = [](int swaps) {
        if (swaps == 3) World.Key(kVkEscape);
    };
    RunMainLoop(clock);
    EXPECT_THAT(World.events, ElementsAre("create", "swap", "swap", "swap", "destroy"));
}

TEST_F(MainLoop, FailedFrameEndsTheLoopWithoutSwapping) {
    World.frame_result = false;
    RunMainLoop(clock);
    EXPECT_THAT(World.events, ElementsAre("create", "frame", "destroy"));
}

TEST_F(MainLoop, FirstWindowFailingReturnsAtOnce) {
    World.fail_creation_number = 1;
    EXPECT_FALSE(RunMainLoop(clock));
    EXPECT_THAT(World.events, ElementsAre("create"));
}

TEST_F(MainLoop, AdjustmentModesFollowTheirKeys) {
    struct Case {
        std::vector<int> keys;
        bool position, size;
    } cases[] = {
        {{kVkF11}, true, false},        {{kVkF11, kVkF11}, false, false},
        {{kVkF11, kVkF9}, false, true}, {{kVkF9, kVkF11}, true, false},
        {{kVkF9, kVkF9}, false, false}, {{kVkF11, kVkF12}, true, false},  // the frame key leaves the modes as they are
    };
    for (const Case& c : cases) {
        ResetFakeWorld();
        PositionMode = SizeMode = false;
        for (int vk : c.keys) World.Key(vk);
        World.Key(kVkEscape);
        RunMainLoop(clock);
        EXPECT_EQ(PositionMode, c.position) << c.keys.size() << " keys, first " << c.keys[0];
        EXPECT_EQ(SizeMode, c.size) << c.keys.size() << " keys, first " << c.keys[0];
    }
}

TEST_F(MainLoop, FrameKeyRebuildsWithTheFileSizeAndInvertedFrameAndWritesNothing) {
    Configure("[WINSIZE]\nWIDTH=300\nHEIGHT=200\n");
    Settings.WindowWidth = 999;  // the file, not Settings, gives the new size
    KeysThenEscape({kVkF12});
    RunMainLoop(clock);
    ASSERT_EQ(World.creations.size(), 2u);
    EXPECT_EQ(World.creations[1].width, 300);
    EXPECT_EQ(World.creations[1].height, 200);
    EXPECT_TRUE(World.creations[1].frameless);
    EXPECT_TRUE(World.creations[1].recreating);
    EXPECT_EQ(World.creations[1].title, kSimLink);
    EXPECT_FALSE(KeyState[kVkF12]);
    EXPECT_EQ(dir.Read("ORVEXVari.INI"), "[WINSIZE]\nWIDTH=300\nHEIGHT=200\n");
}

TEST_F(MainLoop, ArrowsDoNothingOutsideTheModesAndKeepTheirMarks) {
    KeysThenEscape({kVkLeft, kVkDown});
    RunMainLoop(clock);
    EXPECT_EQ(World.creations.size(), 1u);
    EXPECT_TRUE(KeyState[kVkLeft]);
    EXPECT_TRUE(KeyState[kVkDown]);
    EXPECT_EQ(Ini("WINDOW", "X"), "<none>");
}

TEST_F(MainLoop, HeldArrowsActInThePassOfTheModeKeyRightBeforeUp) {
    Configure("[WINDOW]\nX=100\nY=50\n");
    KeysThenEscape({kVkUp, kVkRight, kVkF11});
    RunMainLoop(clock);
    ASSERT_EQ(World.creations.size(), 3u);
    EXPECT_EQ(World.creations[1].left, 101);
    EXPECT_EQ(World.creations[1].top, 50);
    EXPECT_EQ(World.creations[2].left, 101);
    EXPECT_EQ(World.creations[2].top, 49);
    EXPECT_TRUE(World.creations[2].recreating);
    EXPECT_EQ(Ini("WINDOW", "X"), "101");
    EXPECT_EQ(Ini("WINDOW", "Y"), "49");
    EXPECT_FALSE(KeyState[kVkRight]);
    EXPECT_FALSE(KeyState[kVkUp]);
}

TEST_F(MainLoop, PositionStepsStartFromTheFile) {
    Configure("[WINDOW]\nX= 7 \nY=0\n");
    Settings.WindowLeft = 500;
    KeysThenEscape({kVkF11, kVkLeft, kVkDown});
    RunMainLoop(clock);
    EXPECT_EQ(Ini("WINDOW", "X"), "6");
    EXPECT_EQ(Ini("WINDOW", "Y"), "1");
    EXPECT_EQ(World.creations.back().left, 6);
    EXPECT_EQ(World.creations.back().top, 1);
}

TEST_F(MainLoop, SizeStepsDriveWidthToZeroAndBelow) {
    Configure("[WINSIZE]\nWIDTH=2\nHEIGHT=10\n");
    KeysThenEscape({kVkF9, kVkLeft, kVkLeft, kVkLeft, kVkUp, kVkDown, kVkRight});
    RunMainLoop(clock);
    std::vector<int> widths, heights;
    for (const WindowCreation& c : World.creations) {
        widths.push_back(c.width);
        heights.push_back(c.height);
    }
    EXPECT_THAT(widths, ElementsAre(2, 1, 0, -1, -1, -1, 0));
    EXPECT_THAT(heights, ElementsAre(10, 10, 10, 10, 9, 10, 10));
    EXPECT_EQ(Ini("WINSIZE", "WIDTH"), "0");
    EXPECT_EQ(Ini("WINSIZE", "HEIGHT"), "10");
}

TEST_F(MainLoop, EscapeWithAnArrowMarkedStillMovesOnce) {
    Configure("[WINDOW]\nX=0\nY=0\n");
    World.Key(kVkF11);
    World.Message(kFakeMarkKeys, KeyBit(kVkEscape) | KeyBit(kVkRight));
    RunMainLoop(clock);
    EXPECT_EQ(Ini("WINDOW", "X"), "1");
    EXPECT_THAT(World.events, ElementsAre("create", "destroy", "create", "destroy"));
}

TEST_F(MainLoop, FailedFirstWindowEndsTheLoopAsAFailure) {
    World.fail_creation_number = 1;
    EXPECT_FALSE(RunMainLoop(clock));
    EXPECT_THAT(World.events, ElementsAre("create"));
}

TEST_F(MainLoop, FailedRecreationEndsTheLoopAsAFailure) {
    World.fail_creation_number = 2;
    World.Key(kVkF12);
    World.Key(kVkF11);  // never reached
    EXPECT_FALSE(RunMainLoop(clock));
    EXPECT_THAT(World.events, ElementsAre("create", "destroy", "create"));
    EXPECT_FALSE(PositionMode);
}

TEST_F(MainLoop, FailedWindowOfAnArrowStepEndsTheLoopAsAFailure) {
    World.fail_creation_number = 2;
    World.Key(kVkF9);
    World.Key(kVkRight);
    World.Key(kVkEscape);  // never reached
    EXPECT_FALSE(RunMainLoop(clock));
    EXPECT_THAT(World.events, ElementsAre("create", "destroy", "create"));
}

TEST_F(MainLoop, BadCoordinateInTheFileRaises) {
    Configure("[WINDOW]\nX=1\n");
    dir.Write("ORVEXVari.INI", "[WINDOW]\nX=left\n");
    KeysThenEscape({kVkF11, kVkRight});
    try {
        RunMainLoop(clock);
        FAIL() << "the bad X was taken";
    } catch (const EVarioError& error) {
        EXPECT_STREQ(error.what(), "'left' is not a valid integer value");
    }
}

// The add-on missing at start, back after 3.2 s, gone again at 6 s: one attempt a
// second while the link is closed, none while it is open.
TEST_F(MainLoop, SimulatorLinkIsOpenedAgainOnceASecondWhileClosed) {
    World.add_on_present = false;
    World.frame_ms = 20;
    World.on_frame = [](int frames) {
        if (frames == 160) World.add_on_present = true;
        if (frames == 300) World.add_on_present = World.link_open = false;
        if (frames == 390) World.Key(kVkEscape);
    };
    RunMainLoop(clock);
    EXPECT_THAT(World.link_open_attempts_ms, ElementsAre(0, 1000, 2000, 3000, 4000, 6000, 7000));
    EXPECT_FALSE(World.link_open);
}

TEST_F(MainLoop, LinkAttemptsWaitForTheClockNotForPasses) {
    World.add_on_present = false;
    World.on_frame = [](int frames) {
        if (frames == 500) World.now_ms = 999;
        if (frames == 1000) World.now_ms = 1000;
        if (frames == 1001) World.Key(kVkEscape);
    };
    RunMainLoop(clock);
    EXPECT_THAT(World.link_open_attempts_ms, ElementsAre(0, 1000));
}

constexpr const char* kNetworkIni = "[LAN]\nUSELAN=Y\nORVEXSERVER=127.0.0.1\nORVEXPORT=8000\n";

TEST_F(MainLoop, NetworkTitlesWhileTheServerIsDownThenUp) {
    Configure(kNetworkIni);
    World.on_frame = [](int frames) {
        World.now_ms += 100;
        if (frames == 4) World.server_up = true;
        if (frames == 7) World.Key(kVkEscape);
    };
    RunMainLoop(clock);
    EXPECT_THAT(World.titles, ElementsAre(kNetwork, kNotConnected, kConnecting, kConnected));
    // The scene's attempt, then one each time 250 ms have passed since the last.
    EXPECT_THAT(World.attempt_times_ms, ElementsAre(0, 300, 600));
    EXPECT_EQ(World.frames, 7);
    EXPECT_TRUE(World.link_open_attempts_ms.empty()) << "network mode never opens the simulator link";
}

TEST_F(MainLoop, AttemptsAreSpacedFromTheEndOfTheLastWhileFramesGoOn) {
    Configure(kNetworkIni);
    World.connect_duration_ms = 2000;  // a host that drops the connection requests
    World.on_frame = [](int frames) {
        World.now_ms += 10;
        if (frames == 60) World.Key(kVkEscape);
    };
    RunMainLoop(clock);
    // Window creation's attempt ends at 2000; the next starts 250 ms later, and so on.
    EXPECT_THAT(World.attempt_times_ms, ElementsAre(0, 2250, 4500));
    EXPECT_EQ(World.frames, 60);
    EXPECT_EQ(World.titles.back(), kConnecting);
}

TEST_F(MainLoop, LostConnectionRetitlesAtOnceAndReconnectsAfterTheSpacing) {
    Configure(kNetworkIni);
    World.server_up = true;
    std::vector<std::string> titles_before_third_pass;
    World.on_frame = [&](int frames) {
        World.now_ms += 100;
        if (frames == 2) World.client_connected = false;  // lost during this frame's query
        if (frames == 3) titles_before_third_pass = World.titles;
        if (frames == 5) World.Key(kVkEscape);
    };
    RunMainLoop(clock);
    EXPECT_THAT(titles_before_third_pass, ElementsAre(kNetwork, kConnecting));
    EXPECT_THAT(World.titles, ElementsAre(kNetwork, kConnecting, kConnected));
    EXPECT_THAT(World.attempt_times_ms, ElementsAre(0, 300));
}

// A server that accepts and never answers: each query loses the connection, each
// attempt makes a new one, and the title stays connecting until a query is answered.
TEST_F(MainLoop, ConnectingTitleStaysUntilAQueryIsAnswered) {
    Configure(kNetworkIni);
    World.server_up = World.server_silent = true;
    std::vector<std::string> titles_while_silent;
    World.on_frame = [&](int frames) {
        World.now_ms += 100;
        if (frames == 20) {
            titles_while_silent = World.titles;
            World.server_silent = false;
        }
        if (frames == 30) World.Key(kVkEscape);
    };
    RunMainLoop(clock);
    // The window was made while the server took the connection: the first title says so.
    EXPECT_THAT(titles_while_silent, ElementsAre(kNetwork, kConnecting));
    EXPECT_GE(World.connect_attempts, 5) << "the gauge stopped trying";
    EXPECT_THAT(World.titles, ElementsAre(kNetwork, kConnecting, kConnected));
}

// A window built while connecting says so at once, though it was made with a connection.
TEST_F(MainLoop, WindowBuiltWhileConnectingTakesTheConnectingTitle) {
    Configure(kNetworkIni);
    World.server_up = World.server_silent = true;
    size_t titles_at_rebuild = 0;
    World.on_frame = [&](int frames) {
        World.now_ms += 100;
        if (frames == 3) World.Key(kVkF12);
        if (frames == 4) {
            titles_at_rebuild = World.titles.size();
            World.server_silent = false;
        }
        if (frames == 8) World.Key(kVkEscape);
    };
    RunMainLoop(clock);
    ASSERT_EQ(World.creations.size(), 2u);
    EXPECT_THAT(World.titles, ElementsAre(kNetwork, kConnecting, kNetwork, kConnecting, kConnected));
    // The second connecting title came in the pass that built the window, before a frame.
    EXPECT_EQ(titles_at_rebuild, 4u);
}

TEST_F(MainLoop, NetworkTitleStaysWhileTheConnectionHolds) {
    Configure(kNetworkIni);
    World.server_up = true;
    World.on_frame = [](int frames) {
        World.now_ms += 1000;
        if (frames == 3) World.Key(kVkEscape);
    };
    RunMainLoop(clock);
    EXPECT_THAT(World.titles, ElementsAre(kNetwork));
    EXPECT_EQ(World.connect_attempts, 1);
}

TEST_F(MainLoop, EscapeWithoutConnectionEndsWithoutWaitingForAnAttempt) {
    Configure(kNetworkIni);
    World.Key(kVkEscape);
    RunMainLoop(clock);
    EXPECT_EQ(World.connect_attempts, 1);
    EXPECT_EQ(World.titles.back(), kConnecting);
    EXPECT_EQ(World.destroys, 1);
}

TEST_F(MainLoop, NetworkRebuildMakesANewClientAndRetitles) {
    Configure(kNetworkIni);
    World.server_up = true;
    KeysThenEscape({kVkF12});
    RunMainLoop(clock);
    EXPECT_THAT(World.titles, ElementsAre(kNetwork, kNetwork));
    EXPECT_EQ(World.connect_attempts, 2);
}

// MAXFPS: frames on a grid of 1/N seconds, waiting for messages in between.
TEST_F(MainLoop, MaxFpsDrawsAtMostThatManyFramesASecond) {
    Configure("[GAUGE]\nMAXFPS=50\n");
    World.frame_ms = 4;
    World.on_frame = [](int) {
        if (World.now_ms >= 1000) World.Key(kVkEscape);
    };
    RunMainLoop(clock);
    // Frames at 0, 0.02, ... 1.0: fifty a second, none before its time.
    EXPECT_EQ(World.frames, 51);
    for (size_t i = 1; i < World.frame_times_ms.size(); ++i)
        EXPECT_GE(World.frame_times_ms[i], static_cast<int64_t>(20 * i)) << "frame " << i;
    ASSERT_FALSE(World.waits_ms.empty());
    EXPECT_EQ(World.waits_ms[0], 16);  // the rest of the 20 ms after a 4 ms frame
}

TEST_F(MainLoop, MaxFpsAfterAStallDrawsOneFrameThenWaits) {
    Configure("[GAUGE]\nMAXFPS=60\n");
    World.frame_ms = 2;
    World.on_frame = [](int frames) {
        if (frames == 5) World.now_ms += 200;  // the fifth frame's source held the loop
        if (frames == 10) World.Key(kVkEscape);
    };
    RunMainLoop(clock);
    // The frame after the stall is drawn at once; the twelve missed are not drawn back
    // to back: the next waits its whole interval.
    ASSERT_EQ(World.frame_times_ms.size(), 10u);
    int64_t after_stall = World.frame_times_ms[5];
    EXPECT_GE(after_stall, World.frame_times_ms[4] + 200);
    EXPECT_GE(World.frame_times_ms[6], after_stall + 16);
    for (size_t i = 6; i < World.frame_times_ms.size(); ++i)
        EXPECT_NEAR(World.frame_times_ms[i] - World.frame_times_ms[i - 1], 1000.0 / 60, 1.0) << "frame " << i;
}

TEST_F(MainLoop, KeysArrivingWhileWaitingAreActedOnAtOnce) {
    Configure("[GAUGE]\nMAXFPS=10\n[WINDOW]\nX=5\nY=0\n");
    World.KeyAt(30, kVkF11);
    World.KeyAt(50, kVkRight);
    World.KeyAt(70, kVkEscape);
    RunMainLoop(clock);
    // The arrow's new window is built when the key comes, not at the next frame (0.1 s).
    ASSERT_EQ(World.creations.size(), 2u);
    EXPECT_EQ(World.creations[1].at_ms, 50);
    EXPECT_EQ(World.creations[1].left, 6);
    EXPECT_EQ(World.frames, 1);
    EXPECT_THAT(World.events,
                ElementsAre("create", "frame", "swap", "wait", "wait", "destroy", "create", "wait", "destroy"));
}

TEST_F(MainLoop, MaxFpsPacesTheSwapsOfAMinimisedWindow) {
    Configure("[GAUGE]\nMAXFPS=20\n");
    WindowActive = false;
    World.on_swap = [](int swaps) {
        if (swaps == 3) World.Key(kVkEscape);
    };
    RunMainLoop(clock);
    EXPECT_THAT(World.events, ElementsAre("create", "swap", "wait", "swap", "wait", "swap", "destroy"));
    EXPECT_EQ(World.now_ms, 100);
}

TEST_F(MainLoop, WithoutMaxFpsTheLoopNeverWaits) {
    for (const char* ini : {"", "[GAUGE]\nMAXFPS=\n", "[GAUGE]\nMAXFPS=0\n"}) {
        ResetFakeWorld();
        Configure(ini);
        World.frame_ms = 1;
        World.on_frame = [](int frames) {
            if (frames == 50) World.Key(kVkEscape);
        };
        RunMainLoop(clock);
        EXPECT_TRUE(World.waits_ms.empty()) << ini;
        EXPECT_EQ(World.frames, 50) << ini;
    }
}

}  // namespace

// A frame that leaves the picture on the screen as it was has nothing to swap; the loop
// goes on pacing as before.
TEST_F(MainLoop, FramesThatDrewNothingAreNotSwapped) {
    Configure("[GAUGE]\nMAXFPS=50\n");
    World.picture_drawn = [](int frame) { return frame == 1 || frame == 4; };
    World.on_frame = [](int frames) {
        if (frames == 5) World.Key(kVkEscape);
    };
    RunMainLoop(clock);
    EXPECT_THAT(World.events, ElementsAre("create", "frame", "swap", "wait", "frame", "wait", "frame", "wait", "frame",
                                          "swap", "wait", "frame", "destroy"));
}

TEST_F(MainLoop, FullScreenPassesOverTheFrameAndModeKeysAndWritesNothing) {
    Configure("[WINDOW]\nFULLSCREEN=Y\nX=3\nY=4\n[WINSIZE]\nWIDTH=300\nHEIGHT=200\n");
    const std::string before = dir.Read("ORVEXVari.INI");
    KeysThenEscape({kVkF12, kVkF11, kVkRight, kVkF9, kVkDown});
    RunMainLoop(clock);
    ASSERT_EQ(World.creations.size(), 1u);
    EXPECT_TRUE(World.creations[0].full_screen);
    EXPECT_FALSE(PositionMode);
    EXPECT_FALSE(SizeMode);
    EXPECT_EQ(dir.Read("ORVEXVari.INI"), before);
}

// The saved place lies on no monitor: the window stands on the primary one, and the
// first position step starts from there, not from the saved place.
TEST_F(MainLoop, PositionStepOfAWindowOpenedAwayFromItsSavedPlaceStartsWhereItStands) {
    Configure("[WINDOW]\nX=5000\nY=5000\n");
    World.first_window_relocated_to = WindowRect{0, 30, 400, 400};
    KeysThenEscape({kVkF11, kVkRight});
    RunMainLoop(clock);
    EXPECT_EQ(Ini("WINDOW", "X"), "1");
    EXPECT_EQ(Ini("WINDOW", "Y"), "30");
    ASSERT_EQ(World.creations.size(), 2u);
    EXPECT_EQ(World.creations.back().left, 1);
    EXPECT_EQ(World.creations.back().top, 30);
}
