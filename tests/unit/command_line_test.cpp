// The command line: --version and --help answer, anything else is refused with status 2.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "app/command_line.h"
#include "config/settings.h"
#include "temp_dir.h"

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

TEST(CommandLine, DashHAndSlashQuestionMarkAnswerAsHelp) {
    for (const char* argument : {"-h", "/?"}) {
        auto answer = AnswerCommandLine({argument});
        ASSERT_TRUE(answer) << argument;
        EXPECT_EQ(answer->exit_status, 0) << argument;
        EXPECT_EQ(answer->out, HelpText()) << argument;
        EXPECT_EQ(answer->err, "") << argument;
    }
    EXPECT_THAT(HelpText(), HasSubstr("--help | -h | /?"));
}

// A stream that refuses every write, as standard output on a full disk: a file opened
// for reading only.
std::FILE* OpenUnwritable(const std::string& path) {
    std::fclose(std::fopen(path.c_str(), "wb"));
    return std::fopen(path.c_str(), "rb");
}

TEST(CommandLine, AnAnswerThatCannotBeWrittenEndsWithStatusOne) {
    TempWorkingDirectory dir;
    std::FILE* full = OpenUnwritable("full.txt");
    std::FILE* err = std::fopen("err.txt", "w+b");
    std::FILE* out = std::fopen("out.txt", "w+b");
    ASSERT_TRUE(full && err && out);
    for (const char* argument : {"--version", "--help", "-h"})
        EXPECT_EQ(WriteCommandLineAnswer(*AnswerCommandLine({argument}), full, err), 1) << argument;
    std::rewind(err);
    char said[256] = {};
    ASSERT_TRUE(std::fgets(said, sizeof said, err));
    EXPECT_THAT(said, testing::StartsWith("ORVEXVario: the answer could not be written to standard output"));

    // What standard error refuses changes neither the answer's status nor a refusal's.
    EXPECT_EQ(WriteCommandLineAnswer(*AnswerCommandLine({"--version"}), out, full), 0);
    EXPECT_EQ(WriteCommandLineAnswer(*AnswerCommandLine({"--bogus"}), out, full), 2);
    for (std::FILE* stream : {full, err, out}) std::fclose(stream);
}

TEST(CommandLine, AnythingElseIsRefusedWithStatusTwo) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"-v"}, "unknown argument \"-v\""},
        {{"-?"}, "unknown argument \"-?\""},
        {{"/h"}, "unknown argument \"/h\""},
        {{""}, "unknown argument \"\""},
        {{"--version", "now"}, "unknown argument \"now\""},
        {{"--help", "--version"}, "one argument at most"},
        {{"-h", "/?"}, "one argument at most"},
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
