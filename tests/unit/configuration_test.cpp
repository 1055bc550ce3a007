// Reading ORVEXVari.INI into Settings, and ConfigFile's write errors.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/error.h"
#include "config/config_file.h"
#include "config/settings.h"
#include "configuration_fixture.h"
#include "temp_dir.h"

namespace {

class Configuration : public ConfigurationFixture {};

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

INSTANTIATE_TEST_SUITE_P(Table, SourceSelection,
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
        {"", false},  // key missing: framed
        {"[WINBORDER]\nACTIVE=Y\n", false},
        {"[WINBORDER]\nACTIVE= Y \n", false},
        {"[WINBORDER]\nACTIVE=N\n", true},
        {"[WINBORDER]\nACTIVE=y\n", true},
        {"[WINBORDER]\nACTIVE=\n", true},  // present and empty: frameless
    };
    for (const auto& [ini, frameless] : cases) {
        Load(ini);
        EXPECT_EQ(Settings.Frameless, frameless) << ini;
    }
}

TEST_F(Configuration, OffFlagIsOnUnlessExactlyN) {
    const std::pair<const char*, bool> cases[] = {
        {"", true},  // key missing
        {"[GAUGE]\nOFFFLAG=N\n", false},
        {"[GAUGE]\nOFFFLAG= N \n", false},
        {"[GAUGE]\nOFFFLAG=n\n", true},
        {"[GAUGE]\nOFFFLAG=NO\n", true},
        {"[GAUGE]\nOFFFLAG=\n", true},
        {"[GAUGE]\nOFFFLAG=Y\n", true},
    };
    for (const auto& [ini, shown] : cases) {
        Settings.OffFlag = !shown;
        Load(ini);
        EXPECT_EQ(Settings.OffFlag, shown) << ini;
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
    EXPECT_EQ(Settings.WindowLeft, 10);  // stored before the bad value
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

// No configuration file has megabytes or is a folder: such a path is refused with the
// reason, before anything is read into memory.
TEST_F(Configuration, FileTooLargeOrNotAFileIsRefusedWithTheReason) {
    dir.Write("ORVEXVari.INI", "[WINDOW]\r\nX=1\r\n" + std::string((4 << 20) + 1, ';'));
    const std::string path = dir.File("ORVEXVari.INI");
    auto message_of_read = [] {
        try {
            ReadConfiguration();
        } catch (const EVarioError& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message_of_read(), "Unable to read " + path + ". The file is larger than 4 MB");
    EXPECT_THROW(ConfigFileAccessor(path).WriteText("WINDOW", "X", "2"), EVarioError);
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    EXPECT_EQ(message_of_read(), "Unable to read " + path + ". Not a regular file");
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

TEST_F(Configuration, CockpitKeysAreOffWhenAbsentOrEmpty) {
    for (const char* ini : {"", "[GAUGE]\nMAXFPS=\nDAMPING= \n[WINDOW]\nTOPMOST=\n"}) {
        Load(ini);
        EXPECT_EQ(Settings.MaxFramesPerSecond, 0) << ini;
        EXPECT_EQ(Settings.DampingSeconds, 0.0) << ini;
        EXPECT_FALSE(Settings.TopMost) << ini;
        EXPECT_FALSE(Settings.FullScreen) << ini;
        EXPECT_EQ(Settings.RotateDeg, 0) << ini;
    }
    Load("[gauge]\nmaxfps= 60 \ndamping=0.75\n[WINDOW]\nTOPMOST=Y\nFULLSCREEN=Y\nROTATE= 270 \n");
    EXPECT_EQ(Settings.MaxFramesPerSecond, 60);
    EXPECT_DOUBLE_EQ(Settings.DampingSeconds, 0.75);
    EXPECT_TRUE(Settings.TopMost);
    EXPECT_TRUE(Settings.FullScreen);
    EXPECT_EQ(Settings.RotateDeg, 270);
    Load("[WINDOW]\nTOPMOST=y\nFULLSCREEN=yes\nROTATE=90\n");
    EXPECT_FALSE(Settings.TopMost);
    EXPECT_FALSE(Settings.FullScreen);
    EXPECT_EQ(Settings.RotateDeg, 90);
}

TEST_F(Configuration, BadCockpitValuesRaiseWithTheText) {
    const std::pair<const char*, const char*> cases[] = {
        {"[GAUGE]\nMAXFPS=sixty\n", "'sixty' is not a valid integer value"},
        {"[GAUGE]\nDAMPING=0,5\n", "'0,5' is not a valid decimal value"},
        {"[GAUGE]\nDAMPING=-1\n", "'-1' is not a valid decimal value"},
        {"[GAUGE]\nMAXFPS=-1\n", "'-1' is not a valid MAXFPS value (0 or more frames per second)"},
        {"[GAUGE]\nMAXFPS= $FFFFFFFF \n", "'$FFFFFFFF' is not a valid MAXFPS value (0 or more frames per second)"},
        {"[GAUGE]\nDAMPING=60.001\n", "'60.001' is not a valid DAMPING value (0 to 60 seconds)"},
        {"[GAUGE]\nDAMPING=1e3\n", "'1e3' is not a valid decimal value"},
        {"[WINDOW]\nROTATE=45\n", "'45' is not a valid ROTATE value (0, 90, 180 or 270 degrees clockwise)"},
        {"[WINDOW]\nROTATE=360\n", "'360' is not a valid ROTATE value (0, 90, 180 or 270 degrees clockwise)"},
        {"[WINDOW]\nROTATE=-90\n", "'-90' is not a valid ROTATE value (0, 90, 180 or 270 degrees clockwise)"},
        {"[WINDOW]\nROTATE=left\n", "'left' is not a valid integer value"},
        {"[AUDIO]\nVOLUME=101\n", "'101' is not a valid VOLUME value (0 to 100 per cent)"},
        {"[AUDIO]\nVOLUME=-1\n", "'-1' is not a valid VOLUME value (0 to 100 per cent)"},
        {"[AUDIO]\nVOLUME=loud\n", "'loud' is not a valid integer value"},
        {"[AUDIO]\nVOLUME=50%\n", "'50%' is not a valid integer value"},
    };
    for (const auto& [ini, message] : cases) {
        dir.Write("ORVEXVari.INI", ini);
        try {
            ReadConfiguration();
            ADD_FAILURE() << ini << " was taken";
        } catch (const EVarioError& error) {
            EXPECT_STREQ(error.what(), message);
        }
    }
}

TEST_F(Configuration, AudioKeys) {
    Load("");
    EXPECT_FALSE(Settings.AudioVario);
    EXPECT_TRUE(Settings.AudioDeadBand);
    EXPECT_EQ(Settings.AudioVolumePercent, 80);
    Load("[AUDIO]\nVARIO= Y \nDEADBAND=N\nVOLUME=0\n");
    EXPECT_TRUE(Settings.AudioVario);
    EXPECT_FALSE(Settings.AudioDeadBand);
    EXPECT_EQ(Settings.AudioVolumePercent, 0);
    Load("[AUDIO]\nVARIO=yes\nDEADBAND=Y\nVOLUME=100\n");
    EXPECT_FALSE(Settings.AudioVario);
    EXPECT_TRUE(Settings.AudioDeadBand);
    EXPECT_EQ(Settings.AudioVolumePercent, 100);
}

TEST_F(Configuration, CockpitValuesAtTheEdgesOfTheirRangesAreTaken) {
    Load("[GAUGE]\nMAXFPS=0\nDAMPING=60\n");
    EXPECT_EQ(Settings.MaxFramesPerSecond, 0);
    EXPECT_DOUBLE_EQ(Settings.DampingSeconds, 60.0);
    Load("[GAUGE]\nMAXFPS=-0\nDAMPING=060.000\n");
    EXPECT_EQ(Settings.MaxFramesPerSecond, 0);
    EXPECT_DOUBLE_EQ(Settings.DampingSeconds, 60.0);
}

TEST_F(Configuration, OutOfRangeCockpitValuesAreQuotedAsIntegersAre) {
    // Values that convert however long they are: the message keeps 64 characters of them.
    const std::string zeros(1000, '0');
    const std::pair<std::string, std::string> cases[] = {
        {"[GAUGE]\nMAXFPS=-" + zeros + "1\n", "'-" + zeros.substr(0, 63) + "\xE2\x80\xA6' is not a valid MAXFPS value"},
        {"[GAUGE]\nDAMPING=" + zeros + "61\n",
         "'" + zeros.substr(0, 64) + "\xE2\x80\xA6' is not a valid DAMPING value"},
        {"[GAUGE]\nDAMPING=" + zeros + "x\n", "'" + zeros.substr(0, 64) + "\xE2\x80\xA6' is not a valid decimal value"},
    };
    for (const auto& [ini, start] : cases) {
        dir.Write("ORVEXVari.INI", ini);
        try {
            ReadConfiguration();
            ADD_FAILURE() << "taken: " << ini.substr(0, 20);
        } catch (const EVarioError& error) {
            EXPECT_EQ(std::string(error.what()).substr(0, start.size()), start);
            EXPECT_LT(std::string(error.what()).size(), 200u);
        }
    }
}

}  // namespace
