// The binding against the simulated vendor libraries installed in the Wine
// prefix: the real DLL is found in the system directory and every record is
// read at the vendor's offsets; the driver's call log confirms what was asked.
#include "gpu/load_query.h"
#include "nvapi/binding.h"
#include "nvapi/interface_ids.h"

#include "temp_file.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

#ifdef PARLEX_LOGGER_SIDE
const char libraryName[] = "nvapi64.dll";
#else
const char libraryName[] = "nvapi.dll";
#endif

const char scenarioText[] = R"(
# two ordinary GPUs and one in TCC mode, each accepting other record layouts
[gpu]
name = NVIDIA GeForce RTX 3090
graphics = 1695000
memory = 9751000
base_graphics = 1395000
base_memory = 9751000
boost_graphics = 1860000
boost_memory = 9752000
temperature = -5
load = 37
pstate = 2
p0_graphics = 1395000
p0_memory = 9751000
power = 123456
power_limit = 350000
nvml_temperature = 66

[gpu]
name = NVIDIA GeForce GTX 960
clock_layouts = 2 1
thermal_layouts = 1
pstates_layouts = 2 1
graphics = 1127000
temperature = 41
load = 3

[gpu]
name = NVIDIA Tesla V100-PCIE-16GB with a name that runs on past sixty-four bytes
tcc = yes
clock_layouts = 1
pstates_layouts = 1
graphics = 1380000
temperature = 52
)";

std::vector<std::string> logLines(const std::string& path, const std::string& containing) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(file, line))
        if (line.find(containing) != std::string::npos)
            lines.push_back(line);
    return lines;
}

template <typename Function> Function procedure(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class SimulatedDriver : public ::testing::Test {
  protected:
    static std::string logPath;
    static NvPhysicalGpuHandle gpus[3];

    static void SetUpTestSuite() {
        std::string scenarioPath = tempFile("scn");
        std::ofstream(scenarioPath) << scenarioText;
        logPath = tempFile("log");
        SetEnvironmentVariableA("GPUSIM_SCENARIO", scenarioPath.c_str());
        SetEnvironmentVariableA("GPUSIM_LOG", logPath.c_str());
        ASSERT_EQ(NVAPI_OK, NvAPI_Initialize());
        NvPhysicalGpuHandle handles[NVAPI_MAX_PHYSICAL_GPUS] = {};
        NvU32 count = 0;
        ASSERT_EQ(NVAPI_OK, NvAPI_EnumPhysicalGPUs(handles, &count));
        ASSERT_EQ(2u, count);
        gpus[0] = handles[0];
        gpus[1] = handles[1];
        ASSERT_EQ(NVAPI_OK, NvAPI_EnumTCCPhysicalGPUs(handles, &count));
        ASSERT_EQ(1u, count);
        gpus[2] = handles[0];
    }

    static NvAPI_Status clocks(int gpu, NvU32 version, NvU32 type, ClockFrequencies* record) {
        *record = ClockFrequencies{};
        record->version = version;
        record->clockType = type;
        return NvAPI_GPU_GetAllClockFrequencies(gpus[gpu], record);
    }
};

std::string SimulatedDriver::logPath;
NvPhysicalGpuHandle SimulatedDriver::gpus[3];

TEST_F(SimulatedDriver, BindsTheLibraryInTheSystemDirectory) {
    char expected[MAX_PATH] = {};
    GetSystemDirectoryA(expected, MAX_PATH);
    char loaded[MAX_PATH] = {};
    GetModuleFileNameA(GetModuleHandleA(libraryName), loaded, MAX_PATH);
    EXPECT_EQ(0, lstrcmpiA((std::string(expected) + "\\" + libraryName).c_str(), loaded));
    EXPECT_EQ(1u, logLines(logPath, "NvAPI_Initialize status=0").size());
}

TEST_F(SimulatedDriver, NamesAndPciIdentifiers) {
    char name[64] = {};
    ASSERT_EQ(NVAPI_OK, NvAPI_GPU_GetFullName(gpus[0], name));
    EXPECT_STREQ("NVIDIA GeForce RTX 3090", name);
    ASSERT_EQ(NVAPI_OK, NvAPI_GPU_GetFullName(gpus[2], name));
    EXPECT_EQ(0, std::memcmp("NVIDIA Tesla V100-PCIE-16GB with a name", name, 39))
        << "a long name fills the buffer without a terminator";
    NvU32 device = 0, subSystem = 0, revision = 0, external = 0;
    EXPECT_EQ(NVAPI_OK,
              NvAPI_GPU_GetPCIIdentifiers(gpus[1], &device, &subSystem, &revision, &external));
    EXPECT_NE(0u, device);
}

TEST_F(SimulatedDriver, ClockRecordInEachLayout) {
    ClockFrequencies record;
    ASSERT_EQ(NVAPI_OK, clocks(0, clockRecordV3, clockTypeCurrent, &record));
    EXPECT_EQ(1695000u, record.domain[clockDomainGraphics].frequencyKHz);
    EXPECT_EQ(9751000u, record.domain[clockDomainMemory].frequencyKHz);
    ASSERT_EQ(NVAPI_OK, clocks(0, clockRecordV3, clockTypeBase, &record));
    EXPECT_EQ(1395000u, record.domain[clockDomainGraphics].frequencyKHz);
    ASSERT_EQ(NVAPI_OK, clocks(0, clockRecordV3, clockTypeBoost, &record));
    EXPECT_EQ(1860000u, record.domain[clockDomainGraphics].frequencyKHz);
    EXPECT_EQ(9752000u, record.domain[clockDomainMemory].frequencyKHz);

    EXPECT_NE(NVAPI_OK, clocks(1, clockRecordV3, clockTypeCurrent, &record));
    ASSERT_EQ(NVAPI_OK, clocks(1, clockRecordV2, clockTypeCurrent, &record));
    EXPECT_EQ(1127000u, record.domain[clockDomainGraphics].frequencyKHz);

    EXPECT_NE(NVAPI_OK, clocks(2, clockRecordV2, clockTypeCurrent, &record));
    ASSERT_EQ(NVAPI_OK, clocks(2, clockRecordV1, clockTypeCurrent, &record));
    EXPECT_EQ(1380000u, record.domain[clockDomainGraphics].frequencyKHz);

    EXPECT_EQ(1u, logLines(logPath, "GetAllClockFrequencies gpu=1 version=0x30108 type=0 status=-9")
                      .size());
    EXPECT_EQ(1u, logLines(logPath, "GetAllClockFrequencies gpu=1 version=0x20108 type=0 status=0")
                      .size());
    EXPECT_EQ(1u, logLines(logPath, "GetAllClockFrequencies gpu=0 version=0x30108 type=2 status=0")
                      .size());
}

TEST_F(SimulatedDriver, ThermalRecordIsSignedInLayoutTwo) {
    ThermalSettings thermal{};
    thermal.version = thermalRecordV2;
    ASSERT_EQ(NVAPI_OK, NvAPI_GPU_GetThermalSettings(gpus[0], 0, &thermal));
    EXPECT_EQ(-5, thermal.sensor[0].currentTemp);

    thermal = ThermalSettings{};
    thermal.version = thermalRecordV2;
    EXPECT_NE(NVAPI_OK, NvAPI_GPU_GetThermalSettings(gpus[1], 0, &thermal));
    thermal = ThermalSettings{};
    thermal.version = thermalRecordV1;
    ASSERT_EQ(NVAPI_OK, NvAPI_GPU_GetThermalSettings(gpus[1], 0, &thermal));
    EXPECT_EQ(41, thermal.sensor[0].currentTemp);
    EXPECT_EQ(1u, logLines(logPath, "GetThermalSettings gpu=1 version=0x10044 sensor=0 status=0")
                      .size());
}

TEST_F(SimulatedDriver, PstatesRecordAtTheVendorsOffsets) {
    static Pstates20Info info;
    info = Pstates20Info{};
    info.version = pstatesRecordV3;
    info.numPstates = 1;
    info.numClocks = 1;
    info.pstates[0].clocks[1].domainId = clockDomainMemory;
    ASSERT_EQ(NVAPI_OK, NvAPI_GPU_GetPstates20(gpus[0], &info));
    EXPECT_EQ(0u, info.pstates[0].pstateId);
    EXPECT_EQ(1395000u, info.pstates[0].clocks[0].data[0]);
    EXPECT_EQ(clockDomainMemory, info.pstates[0].clocks[1].domainId);
    EXPECT_EQ(9751000u, info.pstates[0].clocks[1].data[0]);

    info = Pstates20Info{};
    info.version = pstatesRecordV3;
    EXPECT_NE(NVAPI_OK, NvAPI_GPU_GetPstates20(gpus[1], &info));
    info.version = pstatesRecordV2;
    EXPECT_EQ(NVAPI_OK, NvAPI_GPU_GetPstates20(gpus[1], &info));
    info = Pstates20Info{};
    info.version = pstatesRecordV1;
    EXPECT_EQ(NVAPI_OK, NvAPI_GPU_GetPstates20(gpus[2], &info));
    EXPECT_EQ(1u, logLines(logPath, "GetPstates20 gpu=0 version=0x31CF8 memory=1 status=0").size());
    EXPECT_EQ(1u, logLines(logPath, "GetPstates20 gpu=2 version=0x11C94 memory=0 status=0").size());
}

TEST_F(SimulatedDriver, CurrentPstate) {
    NvU32 pstate = 99;
    ASSERT_EQ(NVAPI_OK, NvAPI_GPU_GetCurrentPstate(gpus[0], &pstate));
    EXPECT_EQ(2u, pstate);
}

TEST_F(SimulatedDriver, UsageQueryThroughTheBindingWithoutReports) {
    NvU32 load = 99;
    ASSERT_TRUE(queryGpuLoad(0, &load));
    EXPECT_EQ(37u, load);
    ASSERT_TRUE(queryGpuLoad(1, &load));
    EXPECT_EQ(3u, load);
    // The TCC GPU is not in the ordinary enumeration: its place holds no handle.
    ASSERT_TRUE(queryGpuLoad(2, &load));
    EXPECT_EQ(0u, load);
    EXPECT_EQ(3u, logLines(logPath, "GetUsages gpu=").size());
    EXPECT_EQ(1u, logLines(logPath, "GetUsages gpu=-1 version=0x10088 status=-101").size());
    EXPECT_EQ(1u, logLines(logPath, "id=0x189A1FDF found").size()) << "resolved once";
    EXPECT_TRUE(logLines(logPath, "id=0x189A1FDF words").empty()) << "no report around it";
}

TEST_F(SimulatedDriver, HooksBracketEveryWrappedCallOnThisThread) {
    NvU32 pstate = 0;
    NvAPI_GPU_GetCurrentPstate(gpus[0], &pstate);
    std::vector<std::string> lines = logLines(logPath, "");
    std::string tid = "tid=" + std::to_string(GetCurrentThreadId()) + " ";
    size_t last = lines.size() - 1;
    ASSERT_GE(lines.size(), 3u);
    EXPECT_NE(std::string::npos, lines[last - 2].find("ReportCallStart id=0x927DA4F6 words=0,0"));
    EXPECT_NE(std::string::npos, lines[last - 1].find("NvAPI_GPU_GetCurrentPstate gpu=0"));
    EXPECT_NE(std::string::npos,
              lines[last].find("ReportCallReturn id=0x927DA4F6 words=0,0 result=0"));
    for (const std::string& line : logLines(logPath, "NvAPI_"))
        EXPECT_NE(std::string::npos, line.find(tid)) << line;
    EXPECT_TRUE(logLines(logPath, "scenario error").empty());
}

#ifdef PARLEX_LOGGER_SIDE
TEST_F(SimulatedDriver, NvmlFiguresAtTheFixedPath) {
    HMODULE nvml = LoadLibraryA("C:/Program Files/NVIDIA Corporation/NVSMI/nvml.dll");
    ASSERT_NE(nullptr, nvml);
    typedef int (*Init)();
    typedef int (*HandleByIndex)(unsigned, void**);
    typedef int (*Temperature)(void*, int, unsigned*);
    typedef int (*Figure)(void*, unsigned*);
    auto init = procedure<Init>(nvml, "nvmlInit_v2");
    auto handleByIndex =
        procedure<HandleByIndex>(nvml, "nvmlDeviceGetHandleByIndex_v2");
    auto temperature =
        procedure<Temperature>(nvml, "nvmlDeviceGetTemperature");
    auto power = procedure<Figure>(nvml, "nvmlDeviceGetPowerUsage");
    auto limit =
        procedure<Figure>(nvml, "nvmlDeviceGetPowerManagementLimit");
    ASSERT_TRUE(init && handleByIndex && temperature && power && limit);
    EXPECT_NE(nullptr, GetProcAddress(nvml, "nvmlInit")) << "old names present by default";
    ASSERT_EQ(0, init());
    void* device = nullptr;
    ASSERT_EQ(0, handleByIndex(0, &device));
    unsigned value = 0;
    ASSERT_EQ(0, temperature(device, 0, &value));
    EXPECT_EQ(66u, value);
    ASSERT_EQ(0, power(device, &value));
    EXPECT_EQ(123456u, value);
    ASSERT_EQ(0, limit(device, &value));
    EXPECT_EQ(350000u, value);
    EXPECT_NE(0, handleByIndex(3, &device)) << "three GPUs in all";
    EXPECT_EQ(1u, logLines(logPath, "nvmlDeviceGetPowerUsage gpu=0 status=0").size());
}
#endif

} // namespace
