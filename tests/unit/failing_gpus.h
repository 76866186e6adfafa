// Three GPUs on the simulated driver, discovered as at start-up: one whose
// clock query starts failing, one whose temperature does, and one in TCC
// mode. The driver reads its scenario once per process, so a test program
// discovers them once, for a suite that keeps its state.
#pragma once

#include "sampling/gpu_readings.h"
#include "sampling/shared_state.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>

inline void discoverFailingGpus(SamplingState& sampling) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    char path[MAX_PATH] = {};
    GetTempFileNameA(folder, "scn", 0, path);
    std::ofstream(path) << "[gpu]\nname = Clock fails from the third call\n"
                           "graphics = 1500000 1600000\nclock_status = 0 0 0 -5\n"
                           "temperature = 60 61\nload = 40 41\n"
                           "[gpu]\nname = Temperature fails later\nclock_layouts = 1\n"
                           "thermal_layouts = 1\ntemperature = 50 51 52\n"
                           "thermal_status = 0 0 -5\nload = 7\n"
                           "[gpu]\nname = Compute\ntcc = yes\nload = 99\n";
    SetEnvironmentVariableA("GPUSIM_SCENARIO", path);
    sampling.appRunning = 1; // a pass reads only while the program runs
    ASSERT_FALSE(discoverGpus(sampling.gpus).failure);
}
