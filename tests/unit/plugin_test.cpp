// Entry points on hosts the module does not register with, and the answers
// that need no host at all.
#include <gtest/gtest.h>

#include "host.h"
#include "plugin.h"

extern "C" {
int InitPlugin(PluginInfo *info, const HostApi *api);
const CommandEntry *GetCommands(void);
const HelpEntry *GetHelpStrings(void);
int InitLibrary(ScriptState *L);
void FreeLibrary(ScriptState *L);
int GetExtensions(uint32_t capability);
int RequirePlugin(ScriptState *L, int version, int revision, void *reserved, const PluginOption *options);
}

namespace {

// Runs a test with the module as it is right after loading, and puts the
// test host back afterwards.
class UnregisteredModule : public ::testing::Test {
protected:
    void SetUp() override {
        savedApi = host::api;
        savedState = gState;
        host::api = nullptr;
        gState.info = nullptr;
    }
    void TearDown() override {
        host::api = savedApi;
        gState = savedState;
    }

    // A host table that must never be called: every slot is null.
    HostApi untouchableHost{};

private:
    const HostApi *savedApi = nullptr;
    PluginState savedState{};
};

TEST_F(UnregisteredModule, OldHostsAndMissingServicesGetTheRecordOnly) {
    PluginInfo info{};
    info.hostVersion = 10;
    EXPECT_EQ(InitPlugin(&info, nullptr), 1);
    EXPECT_EQ(host::api, nullptr);
    EXPECT_EQ(gState.utf8Mode, 1);
    info = PluginInfo{};
    info.hostVersion = 5;
    info.hostRevision = 9;
    EXPECT_EQ(InitPlugin(&info, &untouchableHost), 1);
    EXPECT_EQ(host::api, nullptr);
    EXPECT_EQ(gState.utf8Mode, 0);
    // Later entry points are harmless.
    EXPECT_EQ(GetCommands()[0].name, nullptr);
    EXPECT_EQ(GetHelpStrings()[0].text, nullptr);
    EXPECT_EQ(InitLibrary(nullptr), 0);
    FreeLibrary(nullptr);
    UserTag tag{nullptr, "installadapter", nullptr, 1.0};
    const PluginOption options[] = {{PLUGINOPTION_TAGS, reinterpret_cast<uintptr_t>(&tag)}, {PLUGINOPTION_END, 0}};
    EXPECT_EQ(RequirePlugin(nullptr, 0, 0, nullptr, options), 0);
    EXPECT_EQ(GetExtensions(CAP_LIBRARY), 4);
    EXPECT_EQ(GetExtensions(CAP_DIRADAPTER), 3);
    EXPECT_EQ(GetExtensions(CAP_FILEADAPTER), 0);
}

}  // namespace
