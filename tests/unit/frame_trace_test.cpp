// The frame trace's lines (time, then the value or OFF) and its error for a file that
// cannot be written; and the picture record that decides which frames are drawn.
#include <gtest/gtest.h>

#include <sstream>

#include "app/frame_trace.h"
#include "common/error.h"
#include "gauge/picture_on_screen.h"
#include "temp_dir.h"

namespace {

TEST(FrameTrace, OneLinePerFrameWithRisingTimesAndTheValueOrOff) {
    TempWorkingDirectory dir;
    {
        FrameTrace trace(dir.File("trace.txt"));
        trace.FrameSwapped(-152, false);
        trace.FrameSwapped(0.5, false);
        trace.FrameSwapped(0, true);
    }
    std::istringstream lines(dir.Read("trace.txt"));
    double time_ms = 0, previous_ms = -1;
    std::string value;
    std::vector<std::string> values;
    while (lines >> time_ms >> value) {
        EXPECT_GE(time_ms, previous_ms);
        previous_ms = time_ms;
        values.push_back(value);
    }
    EXPECT_EQ(values, (std::vector<std::string>{"-152", "0.5", "OFF"}));
    EXPECT_GT(previous_ms, 0);
}

TEST(FrameTrace, NoPathWritesNothingAndAnUnwritableFileRaises) {
    TempWorkingDirectory dir;
    FrameTrace nothing("");
    nothing.FrameSwapped(1, false);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    const std::string path = dir.File("no-such-folder/trace.txt");
    try {
        FrameTrace trace(path);
        ADD_FAILURE() << "the trace opened " << path;
    } catch (const EVarioError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("Cannot write the frame trace '", 0), 0u) << error.what();
    }
}

TEST(PictureOnScreen, TheSamePictureIsOneWithinAHairOfAngleAndTheSameFlagAndOverlays) {
    PictureOnScreen screen;
    const GaugePicture shown{10.0f, false, false, false};
    EXPECT_FALSE(screen.Shows(shown));  // nothing on the screen yet
    screen.Put(shown);
    const std::pair<GaugePicture, bool> cases[] = {
        {{10.0f, false, false, false}, true},  {{10.04f, false, false, false}, true},
        {{9.96f, false, false, false}, true},  {{10.06f, false, false, false}, false},
        {{9.94f, false, false, false}, false}, {{10.0f, true, false, false}, false},
        {{10.0f, false, true, false}, false},  {{10.0f, false, false, true}, false},
    };
    for (const auto& [picture, same] : cases)
        EXPECT_EQ(screen.Shows(picture), same)
            << picture.angle_deg << " " << picture.off_flag << picture.position_overlay << picture.size_overlay;
    screen.Forget();
    EXPECT_FALSE(screen.Shows(shown));
}

}  // namespace
