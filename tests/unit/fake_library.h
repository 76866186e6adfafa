// A vendor library that lives inside the test program: system calls of the
// binding are pointed at it, so every step of loading can be made to fail.
#pragma once

#include "nvapi/binding.h"

#include <map>
#include <string>
#include <vector>

struct FakeImage {
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS nt;
};

struct FakeDriver {
    // The image the system maps on the next load, and the one mapped now.
    FakeImage* imageOnDisk = nullptr;
    FakeImage* mapped = nullptr;
    int references = 0;

    bool libraryPresent = true;
    bool exportsQueryInterface = true;
    bool providesInitialize = true;
    NvAPI_Status initializeStatus = NVAPI_OK;
    bool hookStart = false;
    bool hookReturn = false;
    std::vector<NvU32> missing;
    NvAPI_Status entryStatus = NVAPI_OK;

    // What happened, in order.
    std::vector<std::string> loadedPaths;
    int frees = 0;
    int loadsOutsideSection = 0;
    int initializeCalls = 0;
    std::map<NvU32, int> resolutions;
    std::vector<std::string> events;
    int inUseSeenByEntry = -1;

    // The logger's search.
    unsigned buildNumber = 7601;
    nvapi::Lookup registeredResult = nvapi::Lookup::notFound;
    std::vector<std::string> registeredModules;
    std::map<std::string, nvapi::Lookup> files;
};

extern FakeDriver fake;
extern FakeImage imageA, imageB, imageStampOnlyA, imageStampOnlyB;

// Points the binding at the fake and forgets its state.
void installFakeDriver();
void restoreSystemCalls();
