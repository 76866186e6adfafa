// The NVAPI binding against a fake vendor library: loading, binding again
// after the image changes, hooks, and every failure of the loader.
#include "nvapi/interface_ids.h"

#include "fake_library.h"

#include <gtest/gtest.h>

namespace {

class Binding : public ::testing::Test {
  protected:
    void SetUp() override { installFakeDriver(); }
    void TearDown() override { restoreSystemCalls(); }

    NvAPI_Status enumerate() {
        NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS] = {};
        NvU32 count = 0;
        return NvAPI_EnumPhysicalGPUs(handles, &count);
    }
    NvAPI_Status name() {
        char text[64] = {};
        return NvAPI_GPU_GetFullName(reinterpret_cast<NvPhysicalGpuHandle>(0x1000), text);
    }
};

TEST_F(Binding, WrappersForwardArgumentsAndStatus) {
    NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS] = {};
    NvU32 count = 0;
    ASSERT_EQ(NVAPI_OK, NvAPI_EnumPhysicalGPUs(handles, &count));
    EXPECT_EQ(2u, count);
    EXPECT_EQ(reinterpret_cast<NvPhysicalGpuHandle>(0x2000), handles[1]);
    char text[64] = {};
    EXPECT_EQ(NVAPI_OK, NvAPI_GPU_GetFullName(handles[0], text));
    EXPECT_STREQ("GPU 4096", text) << "the handle reaches the entry point";

    fake.entryStatus = -104;
    EXPECT_EQ(-104, NvAPI_GPU_GetCurrentPstate(handles[0], &count)) << "failures pass unchanged";
    EXPECT_EQ(0, nvapi::binding.inUse.load());
}

TEST_F(Binding, InitializeBindsTheLibraryFromTheSystemDirectory) {
    EXPECT_EQ(NVAPI_OK, NvAPI_Initialize());
    ASSERT_EQ(1u, fake.loadedPaths.size());
#ifdef PARLEX_LOGGER_SIDE
    EXPECT_EQ("C:\\windows\\system32\\nvapi64.dll", fake.loadedPaths[0]);
#else
    EXPECT_EQ("C:\\windows\\system32\\nvapi.dll", fake.loadedPaths[0]);
#endif
    EXPECT_EQ(1, fake.initializeCalls);
    EXPECT_EQ(0, nvapi::binding.inUse.load());
}

TEST_F(Binding, SecondCallLoadsNothing) {
    ASSERT_EQ(NVAPI_OK, NvAPI_Initialize());
    ASSERT_EQ(NVAPI_OK, enumerate());
    ASSERT_EQ(NVAPI_OK, enumerate());
    ASSERT_EQ(NVAPI_OK, NvAPI_Initialize());
    EXPECT_EQ(1u, fake.loadedPaths.size());
    EXPECT_EQ(1, fake.initializeCalls);
    EXPECT_EQ(1, fake.resolutions[nvapi_id::EnumPhysicalGPUs]) << "the address is cached";
    EXPECT_EQ(0, nvapi::binding.inUse.load());
}

TEST_F(Binding, MissingEntryPointGivesNoImplementationAndKeepsTheCount) {
    fake.hookStart = fake.hookReturn = true;
    fake.missing = {nvapi_id::GPU_GetFullName};
    ASSERT_EQ(NVAPI_OK, NvAPI_Initialize());
    int before = nvapi::binding.inUse.load();
    EXPECT_EQ(NVAPI_NO_IMPLEMENTATION, name());
    EXPECT_EQ(before, nvapi::binding.inUse.load());
    EXPECT_TRUE(fake.events.empty()) << "neither hooks nor any entry point is called";
    EXPECT_EQ(NVAPI_NO_IMPLEMENTATION, name()) << "asked again on the next call";
    EXPECT_EQ(2, fake.resolutions[nvapi_id::GPU_GetFullName]);
}

TEST_F(Binding, BothHooksBracketTheCallInOrder) {
    fake.hookStart = fake.hookReturn = true;
    fake.entryStatus = -7;
    EXPECT_EQ(-7, enumerate());
    std::vector<std::string> expected = {"start 0xE5AC921F 0,0", "entry",
                                         "return 0xE5AC921F 0,0 -7"};
    EXPECT_EQ(expected, fake.events);
    EXPECT_EQ(1, fake.inUseSeenByEntry) << "the call counts as in use while it runs";
}

TEST_F(Binding, UnreportedCallsSkipTheHooksAndShareTheRest) {
    fake.hookStart = fake.hookReturn = true;
    NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS] = {};
    NvU32 count = 0;
    EXPECT_EQ(NVAPI_OK, nvapi::unreported::NvAPI_EnumPhysicalGPUs(handles, &count));
    EXPECT_EQ(NVAPI_OK, nvapi::unreported::NvAPI_EnumPhysicalGPUs(handles, &count));
    EXPECT_EQ(std::vector<std::string>(2, "entry"), fake.events);
    EXPECT_EQ(1, fake.inUseSeenByEntry);
    EXPECT_EQ(1, fake.resolutions[nvapi_id::EnumPhysicalGPUs]) << "the address is cached";
    fake.missing = {nvapi_id::GPU_GetUsages};
    GpuUsage usage = {};
    EXPECT_EQ(NVAPI_NO_IMPLEMENTATION, nvapi::unreported::NvAPI_GPU_GetUsages(handles[0], &usage));
    EXPECT_EQ(0, nvapi::binding.inUse.load());
}

TEST_F(Binding, HalfAHookPairCallsNoHook) {
    for (int only = 0; only < 2; ++only) {
        installFakeDriver();
        fake.hookStart = only == 0;
        fake.hookReturn = only == 1;
        EXPECT_EQ(NVAPI_OK, enumerate());
        EXPECT_EQ(std::vector<std::string>{"entry"}, fake.events) << "only hook " << only;
        EXPECT_EQ(nullptr, nvapi::binding.callStart);
        EXPECT_EQ(nullptr, nvapi::binding.callReturn);
    }
}

TEST_F(Binding, MissingLibraryGivesLibraryNotFoundFromEveryCall) {
    fake.libraryPresent = false;
    EXPECT_EQ(NVAPI_LIBRARY_NOT_FOUND, NvAPI_Initialize());
    EXPECT_EQ(NVAPI_LIBRARY_NOT_FOUND, enumerate());
    EXPECT_EQ(NVAPI_LIBRARY_NOT_FOUND, name());
    NvU32 pstate = 0;
    EXPECT_EQ(NVAPI_LIBRARY_NOT_FOUND,
              NvAPI_GPU_GetCurrentPstate(reinterpret_cast<NvPhysicalGpuHandle>(0x1000), &pstate));
    EXPECT_EQ(0, nvapi::binding.inUse.load());
}

TEST_F(Binding, LibraryWithoutQueryExportIsReleased) {
    fake.exportsQueryInterface = false;
    EXPECT_EQ(NVAPI_ERROR, NvAPI_Initialize());
    EXPECT_EQ(1, fake.frees);
    EXPECT_EQ(nullptr, fake.mapped);
    EXPECT_EQ(0, nvapi::binding.inUse.load());
    EXPECT_EQ(NVAPI_ERROR, enumerate()) << "every later call tries again and fails alike";
}

TEST_F(Binding, LibraryWithoutInitializationEntryIsReleased) {
    fake.providesInitialize = false;
    EXPECT_EQ(NVAPI_ERROR, NvAPI_Initialize());
    EXPECT_EQ(1, fake.frees);
    EXPECT_EQ(nullptr, nvapi::binding.queryInterface);
    EXPECT_EQ(0, nvapi::binding.inUse.load());
}

TEST_F(Binding, FailingDriverInitializationReturnsItsStatus) {
    // -14, the vendor's invalid pointer, is no success, whatever the loader
    // means by it.
    fake.initializeStatus = -14;
    EXPECT_EQ(NVAPI_ERROR, NvAPI_Initialize());
    EXPECT_EQ(0, nvapi::binding.inUse.load());
    fake.initializeStatus = -6;
    EXPECT_EQ(-6, NvAPI_Initialize());
    EXPECT_EQ(2, fake.frees);
    EXPECT_EQ(nullptr, nvapi::binding.queryInterface);
    EXPECT_EQ(-6, enumerate());
    EXPECT_EQ(0, nvapi::binding.inUse.load());
    fake.initializeStatus = NVAPI_OK;
    EXPECT_EQ(NVAPI_OK, enumerate()) << "a later call binds once the driver starts";
}

TEST_F(Binding, ReadsImageIdentityFromPeHeaders) {
    nvapi::ImageIdentity identity = nvapi::readImageIdentity(&imageB);
    EXPECT_EQ(0x2222u, identity.checksum);
    EXPECT_EQ(100u, identity.timeStamp);
    char notAnImage[sizeof(FakeImage)] = {};
    identity = nvapi::readImageIdentity(notAnImage);
    EXPECT_EQ(0u, identity.checksum);
    EXPECT_EQ(0u, identity.timeStamp);
}

#ifndef PARLEX_LOGGER_SIDE

// Parlex compares the loaded image with the one it bound at every call.
class MonitorLoader : public Binding {};

TEST_F(MonitorLoader, ChangedChecksumBindsAgainAndEveryWrapperResolvesAgain) {
    ASSERT_EQ(NVAPI_OK, NvAPI_Initialize());
    ASSERT_EQ(NVAPI_OK, enumerate());
    ASSERT_EQ(NVAPI_OK, name());
    uint32_t generation = nvapi::binding.generation.load();

    fake.mapped = &imageB; // another image now sits under the name
    fake.imageOnDisk = &imageB;
    ASSERT_EQ(NVAPI_OK, enumerate());
    EXPECT_EQ(2u, fake.loadedPaths.size());
    EXPECT_EQ(0, fake.loadsOutsideSection);
    EXPECT_EQ(1, fake.frees) << "the library bound before is released";
    EXPECT_EQ(1, fake.references);
    EXPECT_EQ(2, fake.initializeCalls);
    EXPECT_EQ(generation + 1, nvapi::binding.generation.load());
    EXPECT_EQ(2, fake.resolutions[nvapi_id::EnumPhysicalGPUs]);
    ASSERT_EQ(NVAPI_OK, name());
    EXPECT_EQ(2, fake.resolutions[nvapi_id::GPU_GetFullName]) << "a wrapper not yet called";
    ASSERT_EQ(NVAPI_OK, name());
    EXPECT_EQ(2, fake.resolutions[nvapi_id::GPU_GetFullName]);
    EXPECT_EQ(2u, fake.loadedPaths.size()) << "the new image is now the recorded one";
    EXPECT_EQ(0, nvapi::binding.inUse.load());
}

TEST_F(MonitorLoader, ZeroChecksumComparesTimeStamps) {
    fake.imageOnDisk = &imageStampOnlyA;
    ASSERT_EQ(NVAPI_OK, NvAPI_Initialize());
    ASSERT_EQ(NVAPI_OK, enumerate());
    EXPECT_EQ(1u, fake.loadedPaths.size());
    fake.mapped = &imageStampOnlyB;
    ASSERT_EQ(NVAPI_OK, enumerate());
    EXPECT_EQ(2u, fake.loadedPaths.size());
    EXPECT_EQ(2, fake.initializeCalls);
}

TEST_F(MonitorLoader, EqualChecksumIgnoresTheTimeStamp) {
    static FakeImage sameChecksumLater = imageA;
    sameChecksumLater.nt.FileHeader.TimeDateStamp = 999;
    ASSERT_EQ(NVAPI_OK, NvAPI_Initialize());
    fake.mapped = &sameChecksumLater;
    ASSERT_EQ(NVAPI_OK, enumerate());
    EXPECT_EQ(1u, fake.loadedPaths.size());
}

TEST_F(MonitorLoader, ModuleLoadedByOthersIsBoundOnFirstUse) {
    fake.mapped = &imageA; // loaded by name before the binding ever ran
    fake.references = 1;
    ASSERT_EQ(NVAPI_OK, NvAPI_Initialize());
    EXPECT_EQ(1u, fake.loadedPaths.size()) << "bound from the system directory";
    EXPECT_EQ(1, fake.initializeCalls);
    ASSERT_EQ(NVAPI_OK, enumerate());
    EXPECT_EQ(1u, fake.loadedPaths.size());
}

TEST_F(MonitorLoader, FailedRebindReleasesAndReportsItsStatus) {
    ASSERT_EQ(NVAPI_OK, NvAPI_Initialize());
    fake.mapped = &imageB;
    fake.initializeStatus = -4;
    EXPECT_EQ(-4, enumerate());
    EXPECT_EQ(1, fake.frees);
    EXPECT_EQ(0, nvapi::binding.inUse.load());
    fake.initializeStatus = NVAPI_OK;
    EXPECT_EQ(NVAPI_OK, enumerate());
    EXPECT_EQ(3, fake.initializeCalls) << "the failed rebind is tried again";
}

TEST_F(MonitorLoader, NameWithPathIsRefused) {
    EXPECT_EQ("", nvapi::systemLibraryPath("..\\nvapi.dll"));
    EXPECT_EQ("", nvapi::systemLibraryPath("sub/nvapi.dll"));
    EXPECT_EQ("C:\\windows\\system32\\nvapi.dll", nvapi::systemLibraryPath("nvapi.dll"));
}

#else

// Tessig loads once and looks for the library where current drivers keep it.
class LoggerLoader : public Binding {};

TEST_F(LoggerLoader, LoadsOnceAndNeverComparesTheImage) {
    ASSERT_EQ(NVAPI_OK, NvAPI_Initialize());
    ASSERT_EQ(NVAPI_OK, enumerate());
    fake.mapped = &imageB;
    ASSERT_EQ(NVAPI_OK, enumerate());
    ASSERT_EQ(NVAPI_OK, NvAPI_Initialize());
    EXPECT_EQ(1u, fake.loadedPaths.size());
    EXPECT_EQ(1, fake.initializeCalls);
    EXPECT_EQ(1, fake.resolutions[nvapi_id::EnumPhysicalGPUs]);
}

TEST_F(LoggerLoader, OlderBuildsUseTheSystemDirectory) {
    fake.buildNumber = 14307;
    fake.registeredResult = nvapi::Lookup::found;
    fake.registeredModules = {"C:\\Windows\\System32\\DriverStore\\FileRepository\\nv\\nvapi64.dll"};
    EXPECT_EQ("C:\\windows\\system32\\nvapi64.dll", nvapi::locateLoggerLibrary());
}

TEST_F(LoggerLoader, RegisteredModuleComesFirst) {
    fake.buildNumber = 19045;
    fake.registeredResult = nvapi::Lookup::found;
    fake.registeredModules = {"C:\\Windows\\System32\\DriverStore\\FileRepository\\nv\\nvldumdx.dll",
                              "C:\\Windows\\System32\\DriverStore\\FileRepository\\nv\\NVAPI64.DLL"};
    fake.files["C:\\Windows\\System32\\DriverStore\\FileRepository\\nv\\nvapi64.dll"] =
        nvapi::Lookup::found;
    ASSERT_EQ(NVAPI_OK, NvAPI_Initialize());
    ASSERT_EQ(1u, fake.loadedPaths.size());
    EXPECT_EQ(fake.registeredModules[1], fake.loadedPaths[0]);
}

TEST_F(LoggerLoader, DriverStoreFolderComesNext) {
    fake.buildNumber = 14308;
    fake.registeredResult = nvapi::Lookup::found;
    fake.registeredModules = {"C:\\Windows\\System32\\DriverStore\\FileRepository\\nv\\nvldumdx.dll"};
    std::string store = "C:\\Windows\\System32\\DriverStore\\FileRepository\\nv\\nvapi64.dll";
    fake.files[store] = nvapi::Lookup::found;
    EXPECT_EQ(store, nvapi::locateLoggerLibrary());
}

TEST_F(LoggerLoader, ProgramFilesIsTrusted) {
    fake.buildNumber = 22631;
    fake.registeredResult = nvapi::Lookup::found;
    fake.registeredModules = {"c:/program files/NVIDIA/nvapi64.dll"};
    EXPECT_EQ(fake.registeredModules[0], nvapi::locateLoggerLibrary());
}

TEST_F(LoggerLoader, NeitherPlaceFallsBackToTheSystemDirectory) {
    fake.buildNumber = 19045;
    fake.registeredResult = nvapi::Lookup::found;
    fake.registeredModules = {"C:\\Windows\\System32\\DriverStore\\FileRepository\\nv\\nvldumdx.dll"};
    EXPECT_EQ("C:\\windows\\system32\\nvapi64.dll", nvapi::locateLoggerLibrary());
    fake.registeredResult = nvapi::Lookup::notFound;
    fake.registeredModules.clear();
    EXPECT_EQ("C:\\windows\\system32\\nvapi64.dll", nvapi::locateLoggerLibrary());
}

TEST_F(LoggerLoader, ModuleOutsideTrustedFoldersMakesTheLoadFail) {
    fake.buildNumber = 19045;
    fake.registeredResult = nvapi::Lookup::found;
    for (const char* untrusted :
         {"D:\\Downloads\\nvapi64.dll", "C:\\WindowsEvil\\nvapi64.dll",
          "C:\\Program Files Extra\\nvapi64.dll", "C:\\Windows\\..\\Users\\me\\nvapi64.dll"}) {
        installFakeDriver();
        fake.buildNumber = 19045;
        fake.registeredResult = nvapi::Lookup::found;
        fake.registeredModules = {untrusted};
        EXPECT_EQ(NVAPI_LIBRARY_NOT_FOUND, NvAPI_Initialize()) << untrusted;
        EXPECT_TRUE(fake.loadedPaths.empty()) << untrusted;
        EXPECT_EQ(NVAPI_LIBRARY_NOT_FOUND, enumerate()) << untrusted;
    }
    installFakeDriver();
    fake.buildNumber = 19045;
    fake.registeredResult = nvapi::Lookup::found;
    fake.registeredModules = {"E:\\drivers\\nvldumdx.dll"};
    fake.files["E:\\drivers\\nvapi64.dll"] = nvapi::Lookup::found;
    EXPECT_EQ("", nvapi::locateLoggerLibrary()) << "driver store copy outside the Windows folder";
}

TEST_F(LoggerLoader, LookupErrorsOtherThanNotFoundMakeTheLoadFail) {
    fake.buildNumber = 19045;
    fake.registeredResult = nvapi::Lookup::failed;
    EXPECT_EQ(NVAPI_LIBRARY_NOT_FOUND, NvAPI_Initialize());
    EXPECT_TRUE(fake.loadedPaths.empty());

    installFakeDriver();
    fake.buildNumber = 19045;
    fake.registeredResult = nvapi::Lookup::found;
    fake.registeredModules = {"C:\\Windows\\System32\\DriverStore\\nv\\nvldumdx.dll"};
    fake.files["C:\\Windows\\System32\\DriverStore\\nv\\nvapi64.dll"] = nvapi::Lookup::failed;
    EXPECT_EQ("", nvapi::locateLoggerLibrary());
}

#endif

} // namespace
