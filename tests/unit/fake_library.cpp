#include "fake_library.h"

#include "nvapi/interface_ids.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

FakeDriver fake;

namespace {

FakeImage makeImage(uint32_t checksum, uint32_t timeStamp) {
    FakeImage image;
    std::memset(&image, 0, sizeof image);
    image.dos.e_magic = IMAGE_DOS_SIGNATURE;
    image.dos.e_lfanew = offsetof(FakeImage, nt);
    image.nt.Signature = IMAGE_NT_SIGNATURE;
    image.nt.FileHeader.TimeDateStamp = timeStamp;
    image.nt.OptionalHeader.CheckSum = checksum;
    return image;
}

std::string hex(NvU32 value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

NvAPI_Status NVAPI_CALL driverInitialize() {
    ++fake.initializeCalls;
    return fake.initializeStatus;
}

NvAPI_Status NVAPI_CALL entryEnumerate(NvPhysicalGpuHandle* handles, NvU32* count) {
    fake.events.push_back("entry");
    fake.inUseSeenByEntry = nvapi::binding.inUse.load();
    handles[0] = reinterpret_cast<NvPhysicalGpuHandle>(0x1000);
    handles[1] = reinterpret_cast<NvPhysicalGpuHandle>(0x2000);
    *count = 2;
    return fake.entryStatus;
}

NvAPI_Status NVAPI_CALL entryName(NvPhysicalGpuHandle gpu, char* name) {
    fake.events.push_back("entry");
    std::snprintf(name, 64, "GPU %lu", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(gpu)));
    return fake.entryStatus;
}

NvAPI_Status NVAPI_CALL entryOther() {
    fake.events.push_back("entry");
    return fake.entryStatus;
}

void NVAPI_CALL callStart(NvU32 id, NvU32 words[2]) {
    fake.events.push_back("start " + hex(id) + " " + std::to_string(words[0]) + "," +
                          std::to_string(words[1]));
}

void NVAPI_CALL callReturn(NvU32 id, NvU32 word0, NvU32 word1, NvAPI_Status status) {
    fake.events.push_back("return " + hex(id) + " " + std::to_string(word0) + "," +
                          std::to_string(word1) + " " + std::to_string(status));
}

void* NVAPI_CALL queryInterface(NvU32 id) {
    ++fake.resolutions[id];
    if (std::find(fake.missing.begin(), fake.missing.end(), id) != fake.missing.end())
        return nullptr;
    switch (id) {
    case nvapi_id::Initialize:
        return fake.providesInitialize ? reinterpret_cast<void*>(driverInitialize) : nullptr;
    case nvapi_id::EnumPhysicalGPUs:
    case nvapi_id::EnumTCCPhysicalGPUs: return reinterpret_cast<void*>(entryEnumerate);
    case nvapi_id::GPU_GetFullName: return reinterpret_cast<void*>(entryName);
    case nvapi_id::Diag_ReportCallStart:
        return fake.hookStart ? reinterpret_cast<void*>(callStart) : nullptr;
    case nvapi_id::Diag_ReportCallReturn:
        return fake.hookReturn ? reinterpret_cast<void*>(callReturn) : nullptr;
    default: return reinterpret_cast<void*>(entryOther);
    }
}

HMODULE fakeGetModuleHandle(const char*) { return reinterpret_cast<HMODULE>(fake.mapped); }

HMODULE fakeLoadLibrary(const char* path) {
    fake.loadedPaths.push_back(path);
    // Held by this thread: its owner is this thread's id.
    if (nvapi::binding.section.OwningThread != ULongToHandle(GetCurrentThreadId()))
        ++fake.loadsOutsideSection;
    if (!fake.libraryPresent)
        return nullptr;
    if (!fake.mapped)
        fake.mapped = fake.imageOnDisk;
    ++fake.references;
    return reinterpret_cast<HMODULE>(fake.mapped);
}

BOOL fakeFreeLibrary(HMODULE) {
    ++fake.frees;
    if (--fake.references == 0)
        fake.mapped = nullptr;
    return TRUE;
}

void* fakeGetProcAddress(HMODULE, const char* name) {
    if (std::strcmp(name, "nvapi_QueryInterface") == 0 && fake.exportsQueryInterface)
        return reinterpret_cast<void*>(queryInterface);
    return nullptr;
}

std::string fakeSystemDirectory() { return "C:\\windows\\system32"; }
std::string fakeWindowsDirectory() { return "C:\\windows"; }
std::vector<std::string> fakeProgramFiles() {
    return {"C:\\Program Files", "C:\\Program Files (x86)"};
}
bool fakeBuildNumber(unsigned* build) {
    *build = fake.buildNumber;
    return true;
}
nvapi::Lookup fakeDriverModules(std::vector<std::string>* paths) {
    *paths = fake.registeredModules;
    return fake.registeredResult;
}
nvapi::Lookup fakeFileExists(const std::string& path) {
    auto found = fake.files.find(path);
    return found == fake.files.end() ? nvapi::Lookup::notFound : found->second;
}

} // namespace

FakeImage imageA = makeImage(0x1111, 100);
FakeImage imageB = makeImage(0x2222, 100);
FakeImage imageStampOnlyA = makeImage(0, 100);
FakeImage imageStampOnlyB = makeImage(0, 200);

void installFakeDriver() {
    fake = FakeDriver();
    fake.imageOnDisk = &imageA;
    nvapi::resetBinding();
    nvapi::systemCalls = {.getModuleHandle = fakeGetModuleHandle,
                          .loadLibrary = fakeLoadLibrary,
                          .freeLibrary = fakeFreeLibrary,
                          .getProcAddress = fakeGetProcAddress,
                          .systemDirectory = fakeSystemDirectory,
                          .windowsDirectory = fakeWindowsDirectory,
                          .programFilesFolders = fakeProgramFiles,
                          .windowsBuildNumber = fakeBuildNumber,
                          .displayDriverModules = fakeDriverModules,
                          .fileExists = fakeFileExists};
}

void restoreSystemCalls() { nvapi::systemCalls = nvapi::realSystemCalls(); }
