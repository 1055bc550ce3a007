// Private-profile file semantics. The same cases run against our Linux implementation
// natively and against the Windows profile API under Wine.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ini.h"
#include "temp_dir.h"

namespace {

using platform::ReadProfileText;
using platform::WriteProfileText;

class ProfileFile : public testing::Test {
protected:
    TempWorkingDirectory dir;
    std::string path = dir.File("test.ini");
};

TEST_F(ProfileFile, ReadsValuesWithoutRegardToCase) {
    dir.Write("test.ini", "[lan]\r\nuselan=Y\r\n[WINDOW]\r\nX=12\r\n");
    EXPECT_EQ(ReadProfileText("LAN", "USELAN", "", path), "Y");
    EXPECT_EQ(ReadProfileText("Lan", "UseLan", "", path), "Y");
    EXPECT_EQ(ReadProfileText("window", "x", "0", path), "12");
}

TEST_F(ProfileFile, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(ReadProfileText("WINSIZE", "WIDTH", "400", path), "400");
    dir.Write("test.ini", "[WINSIZE]\r\nHEIGHT=300\r\n");
    EXPECT_EQ(ReadProfileText("WINSIZE", "WIDTH", "400", path), "400");
    EXPECT_EQ(ReadProfileText("WINDOW", "X", "0", path), "0");
    EXPECT_FALSE(std::filesystem::exists(dir.File("other.ini")));
}

TEST_F(ProfileFile, PresentEmptyKeyReadsEmptyNotTheDefault) {
    dir.Write("test.ini", "[WINBORDER]\r\nACTIVE=\r\n");
    EXPECT_EQ(ReadProfileText("WINBORDER", "ACTIVE", "Y", path), "");
}

TEST_F(ProfileFile, ValueIsCutAtTheReadLimit) {
    dir.Write("test.ini", "[A]\r\nB=" + std::string(3000, 'v') + "\r\n");
    EXPECT_EQ(ReadProfileText("A", "B", "", path), std::string(platform::kProfileValueMax, 'v'));
}

TEST_F(ProfileFile, WriteCreatesTheFile) {
    ASSERT_TRUE(WriteProfileText("WINDOW", "X", "96", path));
    EXPECT_EQ(ReadProfileText("WINDOW", "X", "0", path), "96");
    EXPECT_EQ(dir.Read("test.ini"), "[WINDOW]\r\nX=96\r\n");
}

TEST_F(ProfileFile, WriteReplacesOnlyItsKeyAndKeepsOtherLines) {
    const std::string before =
        "; cockpit PC 2\r\n[LAN]\r\nUSELAN=Y\r\nORVEXSERVER=10.0.0.2\r\n\r\n[WINDOW]\r\nX=5\r\nY=6\r\n";
    dir.Write("test.ini", before);
    ASSERT_TRUE(WriteProfileText("window", "x", "-3", path));
    std::string after = dir.Read("test.ini");
    EXPECT_EQ(ReadProfileText("WINDOW", "X", "0", path), "-3");
    EXPECT_EQ(ReadProfileText("WINDOW", "Y", "0", path), "6");
    EXPECT_EQ(ReadProfileText("LAN", "ORVEXSERVER", "", path), "10.0.0.2");
    EXPECT_NE(after.find("; cockpit PC 2"), std::string::npos);
#ifndef _WIN32
    // Byte for byte everywhere but the changed line.
    EXPECT_EQ(after, "; cockpit PC 2\r\n[LAN]\r\nUSELAN=Y\r\nORVEXSERVER=10.0.0.2\r\n\r\n[WINDOW]\r\nX=-3\r\nY=6\r\n");
#endif
}

TEST_F(ProfileFile, WriteAddsKeyToItsSectionAndNewSectionsAtTheEnd) {
    dir.Write("test.ini", "[WINDOW]\r\nX=5\r\n\r\n[LAN]\r\nUSELAN=N\r\n");
    ASSERT_TRUE(WriteProfileText("WINDOW", "Y", "7", path));
    ASSERT_TRUE(WriteProfileText("WINSIZE", "WIDTH", "401", path));
    EXPECT_EQ(ReadProfileText("WINDOW", "Y", "0", path), "7");
    EXPECT_EQ(ReadProfileText("WINSIZE", "WIDTH", "400", path), "401");
    EXPECT_EQ(ReadProfileText("LAN", "USELAN", "", path), "N");
    std::string after = dir.Read("test.ini");
    EXPECT_LT(after.find("Y=7"), after.find("[LAN]"));
    EXPECT_GT(after.find("[WINSIZE]"), after.find("USELAN=N"));
}

TEST_F(ProfileFile, WriteToAFileWithoutFinalLineEnd) {
    dir.Write("test.ini", "[A]\nB=1");
    ASSERT_TRUE(WriteProfileText("A", "C", "2", path));
    ASSERT_TRUE(WriteProfileText("D", "E", "3", path));
    EXPECT_EQ(ReadProfileText("A", "B", "", path), "1");
    EXPECT_EQ(ReadProfileText("A", "C", "", path), "2");
    EXPECT_EQ(ReadProfileText("D", "E", "", path), "3");
}

TEST_F(ProfileFile, ReadOnlyFileIsNotWrittenAndKeepsItsContent) {
    dir.Write("test.ini", "[WINDOW]\r\nX=5\r\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    EXPECT_FALSE(WriteProfileText("WINDOW", "X", "6", path));
    EXPECT_EQ(dir.Read("test.ini"), "[WINDOW]\r\nX=5\r\n");
}

TEST_F(ProfileFile, WriteIntoAMissingDirectoryFails) {
    EXPECT_FALSE(WriteProfileText("WINDOW", "X", "6", dir.File("no-such-dir/test.ini")));
}

#ifndef _WIN32
TEST_F(ProfileFile, WriteLeavesNoTemporaryFileBehind) {
    dir.Write("test.ini", "[WINDOW]\nX=5\n");
    ASSERT_TRUE(WriteProfileText("WINDOW", "X", "6", path));
    int files = 0;
    for (auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
    EXPECT_EQ(dir.Read("test.ini"), "[WINDOW]\nX=6\n");  // the file's own line ending is kept
}
#endif

}  // namespace
