// What the simulated driver does, read from the file named by GPUSIM_SCENARIO,
// or a lively built-in machine when the variable is not set.
//
// The file is "key = value" lines; "#" starts a comment. Keys before the first
// "[gpu]" line describe the driver, each "[gpu]" section adds one GPU ("repeat
// = N" in a section adds it N times). A numeric value may be a list: the n-th
// call takes the n-th entry and the last entry repeats; "cycle" in front makes
// the list start over instead. See gpusim/README.md for every key.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace gpusim {

class Sequence {
  public:
    Sequence() = default;
    explicit Sequence(std::vector<long long> values, bool cycle = false)
        : values_(std::move(values)), cycle_(cycle) {}
    // The value of the next call; fallback when the list is empty.
    long long take(long long fallback = 0);
    bool empty() const { return values_.empty(); }

  private:
    std::vector<long long> values_;
    bool cycle_ = false;
    size_t next_ = 0;
};

struct GpuScenario {
    std::string name = "NVIDIA GeForce GTX 1080";
    bool tcc = false;
    std::vector<int> clockLayouts{3, 2, 1};
    std::vector<int> thermalLayouts{2, 1};
    std::vector<int> pstatesLayouts{3, 2, 1};
    Sequence nameStatus, pciStatus;
    Sequence graphics{{1607000}}, memory{{5005000}};
    Sequence baseGraphics{{1607000}}, baseMemory{{5005000}};
    Sequence boostGraphics{{1733000}}, boostMemory{{5005000}};
    Sequence clockStatus, baseStatus, boostStatus;
    Sequence temperature{{45}}, thermalStatus;
    Sequence load{{10}}, usageStatus;
    Sequence dynamicStatus;     // NvAPI_GPU_GetDynamicPstatesInfoEx, which reads load too
    bool graphicsDomain = true; // whether its record says the graphics domain is there
    Sequence pstate{{0}}, pstateStatus;
    Sequence p0Graphics{{1607000}}, p0Memory{{5005000}};
    std::vector<int> pstates{0, 2, 5, 8}; // the GPU's P-states, as the driver lists them
    Sequence pstatesStatus, pstatesMemoryStatus;
    Sequence nvmlHandleStatus;
    Sequence nvmlTemperature{{45}}, nvmlTemperatureStatus;
    Sequence power{{90000}}, powerStatus;
    Sequence powerLimit{{180000}}, powerLimitStatus;
    // Where the GPU sits on the PCI bus; a GPU without its own bus number
    // takes its place in the scenario (1, 2, ...).
    long long bus = -1, slot = 0;
    Sequence busStatus, slotStatus, nvmlPciStatus;
    bool inNvml = true; // whether NVML lists the GPU at all
};

struct Scenario {
    bool nvapiPresent = true;
    Sequence initializeStatus, enumStatus, tccStatus;
    // A count the enumerations report whatever they wrote (a faulty driver).
    Sequence enumCount, tccCount;
    std::set<uint32_t> missing; // interface ids the driver does not provide
    bool hookStart = true, hookReturn = true;
    std::string nvmlLocation = "both"; // fixed, system, both or none
    // The copy at this place (fixed or system) loads, but its nvmlInit refuses
    // the running driver, as one an older driver left behind does.
    std::string nvmlRefusedAt;
    bool nvmlUnversioned = true;       // the old unversioned NVML names exist
    Sequence nvmlInitStatus;
    // A library NvAPI_Initialize loads by bare name, as vendor libraries load
    // their helpers; the log says from where.
    std::string loadByName;
    // A driver reset (an update, a recovery from a hang) at this GPU call,
    // counted over all GPU entry points from 1; 0: never. Old handles then
    // answer -10; the enumerations give new ones, reversed when resetReverses.
    long long resetAtCall = 0;
    // The last GPU leaves at this GPU call (its handle then answers -101, the
    // enumerations leave it out, and -6 when no GPU is left), and comes back
    // with a driver reset at the other; 0: never.
    long long leaveAtCall = 0;
    long long returnAtCall = 0;
    long long callDelayMs = 0; // every GPU call takes this long (a slow driver)
    bool resetReverses = false;
    std::vector<GpuScenario> gpus;
    std::vector<std::string> errors; // lines the parser did not understand
};

// Parses scenario text; problems land in Scenario::errors.
Scenario parseScenario(const std::string& text);
// The demo machine: two GPUs whose readings move.
Scenario livelyScenario();
// The scenario of this process, read once on first use.
Scenario& scenario();

uint32_t interfaceIdByName(const std::string& name);

} // namespace gpusim
