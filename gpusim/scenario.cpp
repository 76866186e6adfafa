#include "gpusim/scenario.h"

#include <windows.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace gpusim {

long long Sequence::take(long long fallback) {
    if (values_.empty())
        return fallback;
    size_t index = next_++;
    if (cycle_)
        index %= values_.size();
    else if (index >= values_.size())
        index = values_.size() - 1;
    return values_[index];
}

namespace {

struct NamedId {
    const char* name;
    uint32_t id;
};

// The vendor's ids, by the names a scenario may use in "missing".
const NamedId knownIds[] = {
    {"Initialize", 0x0150E828},          {"EnumPhysicalGPUs", 0xE5AC921F},
    {"EnumTCCPhysicalGPUs", 0xD9930B07}, {"GPU_GetFullName", 0xCEEE8E9F},
    {"GPU_GetPCIIdentifiers", 0x2DDFB66E}, {"GPU_GetAllClockFrequencies", 0xDCB616C3},
    {"GPU_GetThermalSettings", 0xE3640A56}, {"GPU_GetPstates20", 0x6FF81213},
    {"GPU_GetCurrentPstate", 0x927DA4F6}, {"GPU_GetUsages", 0x189A1FDF},
    {"Diag_ReportCallStart", 0x33C7358C}, {"Diag_ReportCallReturn", 0x593E8644},
    {"GPU_GetBusId", 0x1BE0B8E5},         {"GPU_GetBusSlotId", 0x2A0A350F},
    {"GPU_GetDynamicPstatesInfoEx", 0x60DED2ED},
};

std::string trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool parseNumbers(const std::string& text, Sequence* out) {
    std::istringstream words(text);
    std::string word;
    std::vector<long long> values;
    bool cycle = false;
    while (words >> word) {
        if (word == "cycle" && values.empty()) {
            cycle = true;
            continue;
        }
        if (word.back() == ',')
            word.pop_back();
        char* end = nullptr;
        long long value = std::strtoll(word.c_str(), &end, 0);
        if (word.empty() || *end)
            return false;
        values.push_back(value);
    }
    if (values.empty())
        return false;
    *out = Sequence(values, cycle);
    return true;
}

bool parseLayouts(const std::string& text, std::vector<int>* out) {
    std::istringstream words(text);
    std::vector<int> layouts;
    int layout;
    while (words >> layout)
        layouts.push_back(layout);
    if (!words.eof())
        return false;
    *out = layouts; // may be empty: the GPU accepts no layout at all
    return true;
}

bool parseFlag(const std::string& text, bool* out) {
    if (text == "yes" || text == "1" || text == "true")
        *out = true;
    else if (text == "no" || text == "0" || text == "false")
        *out = false;
    else
        return false;
    return true;
}

typedef Sequence GpuScenario::*GpuSequence;
const std::map<std::string, GpuSequence> gpuSequences = {
    {"name_status", &GpuScenario::nameStatus},
    {"pci_status", &GpuScenario::pciStatus},
    {"graphics", &GpuScenario::graphics},
    {"memory", &GpuScenario::memory},
    {"base_graphics", &GpuScenario::baseGraphics},
    {"base_memory", &GpuScenario::baseMemory},
    {"boost_graphics", &GpuScenario::boostGraphics},
    {"boost_memory", &GpuScenario::boostMemory},
    {"clock_status", &GpuScenario::clockStatus},
    {"base_status", &GpuScenario::baseStatus},
    {"boost_status", &GpuScenario::boostStatus},
    {"temperature", &GpuScenario::temperature},
    {"thermal_status", &GpuScenario::thermalStatus},
    {"load", &GpuScenario::load},
    {"usage_status", &GpuScenario::usageStatus},
    {"dynamic_status", &GpuScenario::dynamicStatus},
    {"pstate", &GpuScenario::pstate},
    {"pstate_status", &GpuScenario::pstateStatus},
    {"p0_graphics", &GpuScenario::p0Graphics},
    {"p0_memory", &GpuScenario::p0Memory},
    {"pstates_status", &GpuScenario::pstatesStatus},
    {"pstates_memory_status", &GpuScenario::pstatesMemoryStatus},
    {"nvml_handle_status", &GpuScenario::nvmlHandleStatus},
    {"nvml_temperature", &GpuScenario::nvmlTemperature},
    {"nvml_temperature_status", &GpuScenario::nvmlTemperatureStatus},
    {"power", &GpuScenario::power},
    {"power_status", &GpuScenario::powerStatus},
    {"power_limit", &GpuScenario::powerLimit},
    {"power_limit_status", &GpuScenario::powerLimitStatus},
    {"bus_status", &GpuScenario::busStatus},
    {"slot_status", &GpuScenario::slotStatus},
    {"nvml_pci_status", &GpuScenario::nvmlPciStatus},
};

bool parseNumber(const std::string& text, long long* out) {
    char* end = nullptr;
    *out = std::strtoll(text.c_str(), &end, 0);
    return !text.empty() && !*end && *out >= 0;
}

bool setGpuKey(GpuScenario& gpu, const std::string& key, const std::string& value) {
    if (key == "name") {
        // Quotes keep leading and trailing blanks.
        std::string name = value;
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
        gpu.name = name;
        return true;
    }
    if (key == "tcc")
        return parseFlag(value, &gpu.tcc);
    if (key == "clock_layouts")
        return parseLayouts(value, &gpu.clockLayouts);
    if (key == "thermal_layouts")
        return parseLayouts(value, &gpu.thermalLayouts);
    if (key == "pstates_layouts")
        return parseLayouts(value, &gpu.pstatesLayouts);
    if (key == "pstates") {
        std::vector<int> states;
        if (!parseLayouts(value, &states) || states.empty() || states.size() > 16)
            return false;
        gpu.pstates = states;
        return true;
    }
    if (key == "bus")
        return parseNumber(value, &gpu.bus);
    if (key == "slot")
        return parseNumber(value, &gpu.slot);
    if (key == "nvml")
        return parseFlag(value, &gpu.inNvml);
    if (key == "graphics_domain")
        return parseFlag(value, &gpu.graphicsDomain);
    auto found = gpuSequences.find(key);
    return found != gpuSequences.end() && parseNumbers(value, &(gpu.*(found->second)));
}

bool setDriverKey(Scenario& scenario, const std::string& key, const std::string& value) {
    if (key == "nvapi")
        return parseFlag(value, &scenario.nvapiPresent);
    if (key == "initialize_status")
        return parseNumbers(value, &scenario.initializeStatus);
    if (key == "enum_status")
        return parseNumbers(value, &scenario.enumStatus);
    if (key == "tcc_status")
        return parseNumbers(value, &scenario.tccStatus);
    if (key == "enum_count")
        return parseNumbers(value, &scenario.enumCount);
    if (key == "tcc_count")
        return parseNumbers(value, &scenario.tccCount);
    if (key == "missing") {
        std::istringstream words(value);
        std::string word;
        while (words >> word) {
            uint32_t id = interfaceIdByName(word);
            if (!id)
                id = static_cast<uint32_t>(std::strtoul(word.c_str(), nullptr, 0));
            if (!id)
                return false;
            scenario.missing.insert(id);
        }
        return true;
    }
    if (key == "hooks") {
        scenario.hookStart = value == "both" || value == "start";
        scenario.hookReturn = value == "both" || value == "return";
        return value == "both" || value == "start" || value == "return" || value == "none";
    }
    if (key == "nvml_location") {
        scenario.nvmlLocation = value;
        return value == "fixed" || value == "system" || value == "both" || value == "none";
    }
    if (key == "nvml_refused_at") {
        scenario.nvmlRefusedAt = value;
        return value == "fixed" || value == "system";
    }
    if (key == "nvml_unversioned")
        return parseFlag(value, &scenario.nvmlUnversioned);
    if (key == "nvml_init_status")
        return parseNumbers(value, &scenario.nvmlInitStatus);
    for (auto [name, field] : {std::pair{"reset_at_call", &scenario.resetAtCall},
                               {"leave_at_call", &scenario.leaveAtCall},
                               {"return_at_call", &scenario.returnAtCall}}) {
        if (key != name)
            continue;
        Sequence call;
        if (!parseNumbers(value, &call))
            return false;
        *field = call.take(0);
        return *field > 0;
    }
    if (key == "call_delay_ms") {
        Sequence delay;
        if (!parseNumbers(value, &delay))
            return false;
        scenario.callDelayMs = delay.take(0);
        return scenario.callDelayMs >= 0;
    }
    if (key == "reset_order")
        return (scenario.resetReverses = value == "reverse") || value == "same";
    if (key == "load_by_name") {
        scenario.loadByName = value;
        return !value.empty() && value.find_first_of("\\/") == std::string::npos;
    }
    return false;
}

} // namespace

uint32_t interfaceIdByName(const std::string& name) {
    std::string bare = name.compare(0, 6, "NvAPI_") == 0 ? name.substr(6) : name;
    for (const NamedId& known : knownIds)
        if (bare == known.name)
            return known.id;
    return 0;
}

Scenario parseScenario(const std::string& text) {
    Scenario scenario;
    std::istringstream lines(text);
    std::string line;
    int lineNumber = 0;
    bool inGpu = false;
    int repeat = 1;
    GpuScenario gpu;
    auto finishGpu = [&] {
        if (inGpu)
            for (int i = 0; i < repeat; ++i)
                scenario.gpus.push_back(gpu);
        gpu = GpuScenario();
        repeat = 1;
    };
    while (std::getline(lines, line)) {
        ++lineNumber;
        size_t hash = line.find('#');
        if (hash != std::string::npos && line.find('"') == std::string::npos)
            line.erase(hash);
        line = trim(line);
        if (line.empty())
            continue;
        if (line == "[gpu]") {
            finishGpu();
            inGpu = true;
            continue;
        }
        size_t equals = line.find('=');
        std::string key = trim(line.substr(0, equals));
        std::string value = equals == std::string::npos ? "" : trim(line.substr(equals + 1));
        bool understood = false;
        if (equals != std::string::npos) {
            if (inGpu && key == "repeat")
                understood = (repeat = std::atoi(value.c_str())) > 0;
            else
                understood = inGpu ? setGpuKey(gpu, key, value) : setDriverKey(scenario, key, value);
        }
        if (!understood)
            scenario.errors.push_back("line " + std::to_string(lineNumber) + ": " + line);
    }
    finishGpu();
    for (size_t i = 0; i < scenario.gpus.size(); ++i)
        if (scenario.gpus[i].bus < 0)
            scenario.gpus[i].bus = static_cast<long long>(i) + 1;
    return scenario;
}

Scenario livelyScenario() {
    // One minute of moving readings per GPU, a value a call; Parlex and Tessig
    // ask about once a second.
    auto wave = [](double middle, double swing, double period, double phase) {
        std::vector<long long> values;
        for (int i = 0; i < 60; ++i)
            values.push_back(std::llround(
                middle + swing * std::sin(6.283185307179586 * (i + phase) / period) +
                swing * 0.15 * std::sin(i * 2.7 + phase)));
        return Sequence(values, true);
    };
    Scenario scenario;
    GpuScenario first;
    first.name = "NVIDIA TITAN RTX";
    first.graphics = wave(1650000, 300000, 20, 0);
    first.memory = wave(7000000, 0, 60, 0);
    first.baseGraphics = Sequence({1350000});
    first.baseMemory = Sequence({7000000});
    first.boostGraphics = Sequence({1770000});
    first.boostMemory = Sequence({7000000});
    first.temperature = wave(61, 9, 30, 3);
    first.nvmlTemperature = wave(61, 9, 30, 3);
    first.load = wave(58, 38, 15, 1);
    first.power = wave(190000, 70000, 15, 1);
    first.powerLimit = Sequence({280000});
    first.p0Graphics = Sequence({1350000});
    first.p0Memory = Sequence({7000000});
    GpuScenario second;
    second.name = "NVIDIA RTX A2000 12GB";
    second.graphics = wave(1200000, 360000, 24, 7);
    second.memory = wave(5501000, 0, 60, 0);
    second.baseGraphics = Sequence({562000});
    second.baseMemory = Sequence({5501000});
    second.boostGraphics = Sequence({1200000});
    second.boostMemory = Sequence({5501000});
    second.temperature = wave(47, 6, 40, 11);
    second.nvmlTemperature = wave(47, 6, 40, 11);
    second.load = wave(22, 20, 12, 5);
    second.pstate = Sequence({0, 0, 2, 2, 0, 5, 8, 8, 0}, true);
    second.power = wave(38000, 21000, 12, 5);
    second.powerLimit = Sequence({70000});
    second.p0Graphics = Sequence({562000});
    second.p0Memory = Sequence({5501000});
    first.bus = 1;
    second.bus = 2;
    scenario.gpus = {first, second};
    return scenario;
}

Scenario& scenario() {
    static Scenario current = [] {
        char path[MAX_PATH * 2] = {};
        DWORD length = GetEnvironmentVariableA("GPUSIM_SCENARIO", path, sizeof path);
        if (length == 0 || length >= sizeof path)
            return livelyScenario();
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            Scenario unreadable;
            unreadable.errors.push_back(std::string("cannot read ") + path);
            return unreadable;
        }
        std::stringstream text;
        text << file.rdbuf();
        return parseScenario(text.str());
    }();
    return current;
}

} // namespace gpusim
