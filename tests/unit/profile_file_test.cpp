// Private-profile file semantics. The same cases run against our Linux implementation
// natively and against the Windows profile API under Wine.
#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// A write cut short by a crash leaves the one temporary name, which the next write takes over.
TEST_F(ProfileFile, WriteTakesOverATemporaryFileLeftByACrash) {
    dir.Write("test.ini", "[WINDOW]\nX=5\n");
    dir.Write(".test.ini.tmp", "[WINDOW]\nX=half");
    ASSERT_TRUE(WriteProfileText("WINDOW", "X", "6", path));
    EXPECT_FALSE(std::filesystem::exists(dir.File(".test.ini.tmp")));
    EXPECT_EQ(dir.Read("test.ini"), "[WINDOW]\nX=6\n");
}

// The link stays a link, and the file it names is the one written, with its mode.
TEST_F(ProfileFile, WriteThroughASymbolicLinkChangesItsTarget) {
    std::filesystem::create_directory(dir.Path() / "etc");
    dir.Write("etc/real.ini", "[WINDOW]\nX=5\n");
    ASSERT_EQ(chmod(dir.File("etc/real.ini").c_str(), 0640), 0);
    std::filesystem::create_symlink("etc/real.ini", path);
    ASSERT_TRUE(WriteProfileText("WINDOW", "X", "6", path));
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(dir.Read("etc/real.ini"), "[WINDOW]\nX=6\n");
    struct stat info {};
    ASSERT_EQ(stat(dir.File("etc/real.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_FALSE(std::filesystem::exists(dir.File(".test.ini.tmp")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("etc/.real.ini.tmp")));
}

TEST_F(ProfileFile, WriteThroughALinkToNoFileCreatesItsTarget) {
    std::filesystem::create_symlink("real.ini", path);
    ASSERT_TRUE(WriteProfileText("WINDOW", "X", "6", path));
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(dir.Read("real.ini"), "[WINDOW]\r\nX=6\r\n");
}

TEST_F(ProfileFile, WriteKeepsTheOwnerOfAnotherUsersFile) {
    if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    dir.Write("test.ini", "[WINDOW]\nX=5\n");
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    ASSERT_TRUE(WriteProfileText("WINDOW", "X", "6", path));
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
    EXPECT_EQ(dir.Read("test.ini"), "[WINDOW]\nX=6\n");
}

TEST_F(ProfileFile, DeviceOrPipeReadsAsNoFileAndIsNotWritten) {
    std::filesystem::create_symlink("/dev/zero", path);
    EXPECT_EQ(ReadProfileText("WINDOW", "X", "0", path), "0");
    EXPECT_FALSE(WriteProfileText("WINDOW", "X", "6", path));
    std::string pipe = dir.File("pipe.ini");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(ReadProfileText("WINDOW", "X", "0", pipe), "0");
    EXPECT_FALSE(WriteProfileText("WINDOW", "X", "6", pipe));
}
#endif

// A UTF-16LE file with its byte-order mark is read, and written back in UTF-16LE, as
// the Windows profile API does; the same test runs against it under Wine.
TEST_F(ProfileFile, Utf16FileIsReadAndWrittenInItsOwnEncoding) {
    using namespace std::string_literals;
    auto utf16 = [](std::string_view ascii) {
        std::string out = "\xFF\xFE";
        for (char c : ascii) out += std::string{c, '\0'};
        return out;
    };
    dir.Write("test.ini", utf16("[WINDOW]\r\nX=12\r\n[WINSIZE]\r\nWIDTH=300\r\n"));
    EXPECT_EQ(ReadProfileText("window", "x", "0", path), "12");
    EXPECT_EQ(ReadProfileText("WINSIZE", "WIDTH", "400", path), "300");
    ASSERT_TRUE(WriteProfileText("WINDOW", "Y", "7", path));
    ASSERT_TRUE(WriteProfileText("WINSIZE", "WIDTH", "301", path));
    EXPECT_EQ(ReadProfileText("WINDOW", "Y", "0", path), "7");
    EXPECT_EQ(ReadProfileText("WINSIZE", "WIDTH", "400", path), "301");
    EXPECT_EQ(ReadProfileText("WINDOW", "X", "0", path), "12");
    std::string after = dir.Read("test.ini");
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ(after.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(after.size() % 2, 0u);
    EXPECT_EQ(after.find("WIDTH=301"), std::string::npos) << "an ASCII line in a UTF-16 file";
#ifndef _WIN32
    EXPECT_EQ(after, utf16("[WINDOW]\r\nX=12\r\nY=7\r\n[WINSIZE]\r\nWIDTH=301\r\n"));
#endif
}

}  // namespace
