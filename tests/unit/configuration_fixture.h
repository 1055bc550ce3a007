// A test of the configuration's reading: fresh settings, and ORVEXVari.INI in a
// working directory of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "config/settings.h"
#include "temp_dir.h"

class ConfigurationFixture : public testing::Test {
protected:
    TempWorkingDirectory dir;
    void SetUp() override { Settings = SettingsRecord{}; }
    void Load(const std::string& ini) {
        dir.Write("ORVEXVari.INI", ini);
        ReadConfiguration();
    }
};
