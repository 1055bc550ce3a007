// The command line: --version and --help answer, anything else is refused with status 2.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "app/command_line.h"
#include "config/settings.h"

namespace {

using testing::HasSubstr;

TEST(CommandLine, NoArgumentStartsTheGauge) { EXPECT_FALSE(AnswerCommandLine({}).has_value()); }

TEST(CommandLine, VersionAndHelpAnswerOnStandardOutput) {
    auto version = AnswerCommandLine({"--version"});
    ASSERT_TRUE(version);
    EXPECT_EQ(version->exit_status, 0);
    // "ORVEXVario 1.2.3": no regular expression, GoogleTest's differ between the platforms.
    ASSERT_THAT(version->out, testing::StartsWith("ORVEXVario "));
    std::string number = version->out.substr(11);
    EXPECT_EQ(std::count(number.begin(), number.end(), '.'), 2) << number;
    EXPECT_EQ(number.find_first_not_of("0123456789."), number.size() - 1) << number;
    EXPECT_EQ(number.back(), '\n');
    EXPECT_EQ(version->err, "");

    auto help = AnswerCommandLine({"--help"});
    ASSERT_TRUE(help);
    EXPECT_EQ(help->exit_status, 0);
    EXPECT_EQ(help->err, "");
    EXPECT_THAT(help->out, HasSubstr(version->out.substr(0, version->out.size() - 1)));
}

TEST(CommandLine, HelpNamesEveryKeyAndEveryEnvironmentVariable) {
    using namespace config_keys;
    std::string help = HelpText();
    for (const char* name : {kLan, kUseLan, kServer, kPort, kWindow, kX, kY, kWinSize, kWidth, kHeight, kWinBorder,
                             kActive, kTopMost, kGauge, kMaxFps, kDamping})
        EXPECT_THAT(help, HasSubstr(name));
    for (const char* name : {"OFFFLAG", "ORVEX_DIALOGS", "SIMLINK_RUNTIME_DIR", "XDG_RUNTIME_DIR", "SDL_VIDEODRIVER",
                             "Escape", "F12", "F11", "F9"})
        EXPECT_THAT(help, HasSubstr(name));
}

TEST(CommandLine, AnythingElseIsRefusedWithStatusTwo) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"-v"}, "unknown argument \"-v\""},
        {{"/?"}, "unknown argument \"/?\""},
        {{""}, "unknown argument \"\""},
        {{"--version", "now"}, "unknown argument \"now\""},
        {{"--help", "--version"}, "one argument at most"},
    };
    for (const auto& [arguments, problem] : cases) {
        auto answer = AnswerCommandLine(arguments);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->exit_status, 2);
        EXPECT_EQ(answer->out, "");
        EXPECT_THAT(answer->err, HasSubstr(problem));
        EXPECT_THAT(answer->err, HasSubstr("--help"));
    }
}

}  // namespace
