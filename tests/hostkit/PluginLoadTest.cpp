#include "is900/hostkit/PluginLibrary.h"

#include "is900/hostkit/CBase.h"
#include "is900/hostkit/Records.h"

#include <gtest/gtest.h>

using namespace is900::hostkit;

namespace {

std::string errorLoading(const std::string& path) {
    try {
        PluginLibrary library(path);
    } catch (const PluginError& error) {
        return error.what();
    }
    return "";
}

} // namespace

TEST(PluginLibrary, NamesAMissingFileAndALibraryWithoutTheEntryPoints) {
    const std::string missing = errorLoading("./no-such-plugin-library");
    EXPECT_NE(missing.find("cannot load the plug-in library './no-such-plugin-library'"), std::string::npos) << missing;

    EXPECT_EQ(errorLoading(HOST_TEST_NO_EXPORTS_FILE),
              std::string("'") + HOST_TEST_NO_EXPORTS_FILE +
                  "' is not a device plug-in: it does not export createDev and deleteDev");
}

TEST(PluginLibrary, FindsBothEntryPointsOfThePlugin) {
    PluginLibrary library(IS900_PLUGIN_FILE);
    DevConfig config{};
    char name[] = "is900";
    config.name = name;
    CBase* device = library.createDev(&config, nullptr);
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(library.deleteDev(device));
    EXPECT_FALSE(library.deleteDev(nullptr));
}
