// The client of a framed window placed from any outer rectangle the configuration
// file can give: no overflow, and sizes and positions X can hold.
#include <gtest/gtest.h>

#include <climits>

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
