// The client of a framed window placed from any outer rectangle the configuration
// file can give: no overflow, and sizes and positions X can hold.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/window_geometry.h"

namespace {

using platform::ClientPlacement;
using platform::FrameExtents;
using platform::PlaceClient;
using platform::WindowRect;

struct PlacementCase {
    const char* name;
    WindowRect outer;
    ClientPlacement client;
};

constexpr FrameExtents kFrame{19, 4, 4, 4};

class ClientOfOuterRect : public testing::TestWithParam<PlacementCase> {};

TEST_P(ClientOfOuterRect, IsTheRectangleLessTheFrameWithinXLimits) {
    ClientPlacement client = PlaceClient(GetParam().outer, kFrame);
    EXPECT_EQ(client.x, GetParam().client.x);
    EXPECT_EQ(client.y, GetParam().client.y);
    EXPECT_EQ(client.width, GetParam().client.width);
    EXPECT_EQ(client.height, GetParam().client.height);
}

INSTANTIATE_TEST_SUITE_P(
    Rectangles, ClientOfOuterRect,
    testing::Values(PlacementCase{"Ordinary", {100, 50, 400, 400}, {104, 69, 392, 377}},
                    PlacementCase{"SmallerThanItsFrame", {0, 0, 5, 10}, {4, 19, 1, 1}},
                    PlacementCase{"MinimumSides", {0, 0, INT_MIN, INT_MIN}, {4, 19, 1, 1}},
                    PlacementCase{"OneSideAtTheMinimum", {0, 0, INT_MIN, 400}, {4, 19, 1, 377}},
                    PlacementCase{"NearlyMinimumSides", {0, 0, INT_MIN + 1, INT_MIN + 1}, {4, 19, 1, 1}},
                    PlacementCase{"MaximumSides", {0, 0, INT_MAX, INT_MAX}, {4, 19, 32767, 32767}},
                    PlacementCase{"MaximumPosition", {INT_MAX, INT_MAX, 400, 400}, {32767, 32767, 392, 377}},
                    PlacementCase{"MinimumPosition", {INT_MIN, INT_MIN, 400, 400}, {-32768, -32768, 392, 377}}),
    [](const testing::TestParamInfo<PlacementCase>& case_info) { return std::string(case_info.param.name); });

TEST(OuterRectOfClient, AddsTheFrameWithoutOverflow) {
    WindowRect rect = platform::OuterRect(104, 69, 392, 377, kFrame);
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(rect.top, 50);
    EXPECT_EQ(rect.width, 400);
    EXPECT_EQ(rect.height, 400);
    rect = platform::OuterRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX, kFrame);
    EXPECT_EQ(rect.left, INT_MIN);
    EXPECT_EQ(rect.top, INT_MIN);
    EXPECT_EQ(rect.width, INT_MAX);
    EXPECT_EQ(rect.height, INT_MAX);
}

}  // namespace

// Two monitors side by side, the primary on the right of a smaller one, each with a
// task bar: the monitors of a panel computer and the rectangles its file may hold.
namespace monitors {

using platform::MonitorArea;

const std::vector<MonitorArea> kPanel = {
    {{-1024, 0, 1024, 768}, {-1024, 0, 1024, 740}, false},
    {{0, 0, 1280, 1024}, {0, 30, 1280, 994}, true},
};

struct MonitorCase {
    const char* name;
    WindowRect saved;
    WindowRect on_screen;    // where the window opens
    WindowRect full_screen;  // what a full-screen window covers
};

const MonitorCase kMonitorCases[] = {
    {"OnThePrimary", {100, 100, 400, 400}, {100, 100, 400, 400}, {0, 0, 1280, 1024}},
    {"OnTheOther", {-900, 200, 400, 400}, {-900, 200, 400, 400}, {-1024, 0, 1024, 768}},
    // Partly visible stays; the centre picks the monitor.
    {"PartlyOffTheRight", {1200, 100, 400, 400}, {1200, 100, 400, 400}, {0, 0, 1280, 1024}},
    {"AcrossBothCentreOnTheOther", {-300, 100, 400, 400}, {-300, 100, 400, 400}, {-1024, 0, 1024, 768}},
    {"OneRowOnTheOtherMonitor", {-1100, 767, 400, 400}, {-1100, 767, 400, 400}, {0, 0, 1280, 1024}},
    // Touching an edge is not lying on it.
    {"JustPastTheRightEdge", {1280, 100, 400, 400}, {0, 30, 400, 400}, {0, 0, 1280, 1024}},
    {"BelowTheSmallerMonitor", {-900, 768, 400, 100}, {0, 30, 400, 100}, {0, 0, 1280, 1024}},
    {"FarAway", {5000, 5000, 300, 200}, {0, 30, 300, 200}, {0, 0, 1280, 1024}},
    {"FarNegative", {INT_MIN, INT_MIN, 400, 400}, {0, 30, 400, 400}, {0, 0, 1280, 1024}},
    {"EdgeOfInt", {INT_MAX, INT_MAX, INT_MAX, INT_MAX}, {0, 30, INT_MAX, INT_MAX}, {0, 0, 1280, 1024}},
    {"EmptySize", {10, 10, 0, -5}, {0, 30, 0, -5}, {0, 0, 1280, 1024}},
};

class MonitorPlacement : public testing::TestWithParam<MonitorCase> {};

void ExpectRect(const WindowRect& got, const WindowRect& want, const char* what) {
    EXPECT_EQ(got.left, want.left) << what;
    EXPECT_EQ(got.top, want.top) << what;
    EXPECT_EQ(got.width, want.width) << what;
    EXPECT_EQ(got.height, want.height) << what;
}

TEST_P(MonitorPlacement, OpensOnAMonitorAndFillsTheOneHoldingTheCentre) {
    ExpectRect(platform::OnScreenRect(GetParam().saved, kPanel), GetParam().on_screen, "on screen");
    ExpectRect(platform::FullScreenRect(GetParam().saved, kPanel), GetParam().full_screen, "full screen");
}

INSTANTIATE_TEST_SUITE_P(WindowGeometry, MonitorPlacement, testing::ValuesIn(kMonitorCases),
                         [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(WindowGeometry, WithoutMonitorsTheSavedRectangleStandsAndWithoutAPrimaryTheFirstServes) {
    const WindowRect far{5000, 5000, 300, 200};
    ExpectRect(platform::OnScreenRect(far, {}), far, "no monitors");
    ExpectRect(platform::FullScreenRect(far, {}), far, "no monitors");
    const std::vector<MonitorArea> no_primary = {{{0, 0, 800, 600}, {0, 0, 800, 570}, false}};
    ExpectRect(platform::OnScreenRect(far, no_primary), {0, 0, 300, 200}, "no primary");
    ExpectRect(platform::FullScreenRect(far, no_primary), {0, 0, 800, 600}, "no primary");
}

}  // namespace monitors
