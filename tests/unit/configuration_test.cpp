// Reading ORVEXVari.INI into Settings, and ConfigFile's write errors.
#include <gtest/gtest.h>

#include <filesystem>

#include "config/config_file.h"
#include "config/settings.h"
#include "common/error.h"
#include "temp_dir.h"

namespace {

class Configuration : public testing::Test {
protected:
    TempWorkingDirectory dir;
    void SetUp() override { Settings = SettingsRecord{}; }
    void Load(const std::string& ini) {
        dir.Write("ORVEXVari.INI", ini);
        ReadConfiguration();
    }
};

TEST_F(Configuration, NoFileGivesTheDefaultsAndWritesNothing) {
    Settings.UseNetwork = true;
    Settings.ServerAddress = "stale";
    ReadConfiguration();
    EXPECT_FALSE(Settings.UseNetwork);
    EXPECT_EQ(Settings.ServerAddress, "");
    EXPECT_EQ(Settings.ServerPort, "");
    EXPECT_EQ(Settings.WindowLeft, 0);
    EXPECT_EQ(Settings.WindowTop, 0);
    EXPECT_EQ(Settings.WindowWidth, 400);
    EXPECT_EQ(Settings.WindowHeight, 400);
    EXPECT_FALSE(Settings.Frameless);
    EXPECT_FALSE(std::filesystem::exists(dir.File("ORVEXVari.INI")));
    EXPECT_EQ(std::filesystem::path(ConfigFile->Path()).filename(), "ORVEXVari.INI");
}

struct SourceCase {
    const char* lan_section;
    bool use_network;
};

class SourceSelection : public Configuration, public testing::WithParamInterface<SourceCase> {};

TEST_P(SourceSelection, NetworkOnlyWithUpperCaseYAndBothServerAndPort) {
    Load(GetParam().lan_section);
    EXPECT_EQ(Settings.UseNetwork, GetParam().use_network) << GetParam().lan_section;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SourceSelection,
    testing::Values(SourceCase{"[LAN]\nUSELAN=Y\nORVEXSERVER=10.0.0.5\nORVEXPORT=8000\n", true},
                    SourceCase{"[LAN]\nUSELAN=  Y \t\nORVEXSERVER=host\nORVEXPORT=8000\n", true},
                    SourceCase{"[lan]\nuselan=Y\norvexserver=host\norvexport=8000\n", true},
                    SourceCase{"[LAN]\nUSELAN=y\nORVEXSERVER=host\nORVEXPORT=8000\n", false},
                    SourceCase{"[LAN]\nUSELAN=Yes\nORVEXSERVER=host\nORVEXPORT=8000\n", false},
                    SourceCase{"[LAN]\nUSELAN=Y\nORVEXSERVER=host\n", false},
                    SourceCase{"[LAN]\nUSELAN=Y\nORVEXSERVER=host\nORVEXPORT=   \n", false},
                    SourceCase{"[LAN]\nUSELAN=Y\nORVEXPORT=8000\n", false}));

TEST_F(Configuration, ServerAndPortAreKeptTrimmedEvenInSimulatorMode) {
    Load("[LAN]\nUSELAN=N\nORVEXSERVER=  cockpit-server \nORVEXPORT= 08000 \n");
    EXPECT_FALSE(Settings.UseNetwork);
    EXPECT_EQ(Settings.ServerAddress, "cockpit-server");
    EXPECT_EQ(Settings.ServerPort, "08000");
}

TEST_F(Configuration, FrameFromActiveKey) {
    const std::pair<const char*, bool> cases[] = {
        {"", false},                            // key missing: framed
        {"[WINBORDER]\nACTIVE=Y\n", false},
        {"[WINBORDER]\nACTIVE= Y \n", false},
        {"[WINBORDER]\nACTIVE=N\n", true},
        {"[WINBORDER]\nACTIVE=y\n", true},
        {"[WINBORDER]\nACTIVE=\n", true},       // present and empty: frameless
    };
    for (const auto& [ini, frameless] : cases) {
        Load(ini);
        EXPECT_EQ(Settings.Frameless, frameless) << ini;
    }
}

TEST_F(Configuration, GeometryIsConvertedAndTakenUnchanged) {
    Load("[WINDOW]\nX=  120  \nY=-5\n[WINSIZE]\nWIDTH=$10\nHEIGHT=0\n");
    EXPECT_EQ(Settings.WindowLeft, 120);
    EXPECT_EQ(Settings.WindowTop, -5);
    EXPECT_EQ(Settings.WindowWidth, 16);
    EXPECT_EQ(Settings.WindowHeight, 0);
}

TEST_F(Configuration, BadGeometryRaisesAndKeepsTheSettingsAfterIt) {
    Load("[WINDOW]\nX=1\nY=2\n");
    dir.Write("ORVEXVari.INI", "[WINDOW]\nX=10\nY=20\n[WINSIZE]\nWIDTH=abc\nHEIGHT=300\n");
    try {
        ReadWindowGeometry();
        FAIL() << "abc converted";
    } catch (const EVarioError& error) {
        EXPECT_STREQ(error.what(), "'abc' is not a valid integer value");
    }
    EXPECT_EQ(Settings.WindowLeft, 10);   // stored before the bad value
    EXPECT_EQ(Settings.WindowTop, 20);
    EXPECT_EQ(Settings.WindowHeight, 400);  // after it: unchanged
}

TEST_F(Configuration, PresentEmptyWidthIsAnError) {
    dir.Write("ORVEXVari.INI", "[WINSIZE]\nWIDTH=\n");
    EXPECT_THROW(
        {
            try {
                ReadConfiguration();
            } catch (const EVarioError& error) {
                EXPECT_STREQ(error.what(), "'' is not a valid integer value");
                throw;
            }
        },
        EVarioError);
}

TEST_F(Configuration, FailedWriteRaisesWithTheFullPath) {
    ConfigFileAccessor file(dir.File("missing-dir/ORVEXVari.INI"));
    try {
        file.WriteText("WINDOW", "X", "1");
        FAIL() << "write into a missing directory succeeded";
    } catch (const EVarioError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + dir.File("missing-dir/ORVEXVari.INI"));
    }
}

TEST_F(Configuration, PathIsFixedAtStartUp) {
    ReadConfiguration();
    std::string path = ConfigFile->Path();
    std::filesystem::create_directory(dir.Path() / "elsewhere");
    std::filesystem::current_path(dir.Path() / "elsewhere");
    ConfigFile->WriteText("WINDOW", "X", "3");
    EXPECT_EQ(ConfigFile->Path(), path);
    EXPECT_EQ(dir.Read("ORVEXVari.INI"), "[WINDOW]\r\nX=3\r\n");
}

}  // namespace
