#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "module_entry.h"

namespace kelvo {
namespace {

std::vector<std::string> calls;

// Registered as a module's static initialisers would, out of priority order.
const bool HOOKS_REGISTERED = addModuleInitializer([] { calls.push_back("init 20"); }, 20) &&
                              addModuleInitializer([] { calls.push_back("init 10"); }, 10) &&
                              addModuleTerminator([] { calls.push_back("term 5"); }, 5) &&
                              addModuleTerminator([] { calls.push_back("term 1"); }, 1);

int firstHandle, secondHandle;

// Hosts enter once per use of the module and may exit once too often; only
// the first entry and the last exit do any work, and an extra exit must not
// keep the next entry from initialising.
TEST(ModuleEntry, OnlyTheFirstEntryAndTheLastExitInitialiseAndDeinitialise) {
    ASSERT_TRUE(HOOKS_REGISTERED);
    EXPECT_FALSE(exitModule());
    EXPECT_EQ(moduleEntryCount(), 0);
    EXPECT_TRUE(enterModule(nullptr, "/ignored"));
    EXPECT_EQ(moduleEntryCount(), 0);

    for (int round = 0; round < 2; ++round) {
        calls.clear();
        EXPECT_TRUE(enterModule(&firstHandle, "/plugins/Tambro Synth.vst3"));
        EXPECT_TRUE(enterModule(&secondHandle, "/elsewhere"));
        EXPECT_EQ(calls, (std::vector<std::string>{"init 10", "init 20"}));
        EXPECT_EQ(moduleHandle(), &firstHandle);
        EXPECT_STREQ(moduleBundlePath(), "/plugins/Tambro Synth.vst3");

        EXPECT_TRUE(exitModule());
        EXPECT_EQ(calls.size(), 2u);
        EXPECT_TRUE(exitModule());
        EXPECT_EQ(calls, (std::vector<std::string>{"init 10", "init 20", "term 1", "term 5"}));
        EXPECT_EQ(moduleHandle(), nullptr);
        EXPECT_FALSE(exitModule());
        EXPECT_EQ(moduleEntryCount(), 0);
    }
}

// A truncated path could name another folder.
TEST(ModuleEntry, ABundlePathTheRecordCannotHoldIsNoPath) {
    const std::string fits = "/" + std::string(MODULE_PATH_CAPACITY - 2, 'a');
    const std::string tooLong = fits + "b";
    const std::pair<const char*, const char*> cases[] = {
        {fits.c_str(), fits.c_str()}, {tooLong.c_str(), ""}, {nullptr, ""}};
    for (auto [path, recorded] : cases) {
        ASSERT_TRUE(enterModule(&firstHandle, path));
        EXPECT_STREQ(moduleBundlePath(), recorded);
        ASSERT_TRUE(exitModule());
    }
}

}  // namespace
}  // namespace kelvo
