// Tessig's loader for "nvapi64.dll": located once, never through the search
// path, loaded and bound once for the life of the process.
#include "nvapi/binding.h"

#include <algorithm>
#include <cctype>

namespace nvapi {

namespace {

const char libraryName[] = "nvapi64.dll";
// From this build on, display drivers keep their files in the driver store.
const unsigned driverStoreBuild = 14308;

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

std::string fileNameOf(const std::string& path) {
    auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool isUnder(const std::string& path, const std::string& folder) {
    if (folder.empty())
        return false;
    std::string prefix = lowered(folder);
    if (prefix.back() != '\\')
        prefix += '\\';
    return lowered(path).compare(0, prefix.size(), prefix) == 0;
}

// A module is trusted only under the Windows folder or a Program Files folder;
// a path that climbs out with ".." is never trusted.
bool trustedLocation(const std::string& path) {
    std::string normal = lowered(path);
    if (normal.find("\\..\\") != std::string::npos || normal.find("\\.\\") != std::string::npos)
        return false;
    if (isUnder(path, systemCalls.windowsDirectory()))
        return true;
    for (const std::string& folder : systemCalls.programFilesFolders())
        if (isUnder(path, folder))
            return true;
    return false;
}

} // namespace

std::string locateLoggerLibrary() {
    unsigned build = 0;
    if (systemCalls.windowsBuildNumber(&build) && build >= driverStoreBuild) {
        std::vector<std::string> modules;
        Lookup registered = systemCalls.displayDriverModules(&modules);
        if (registered == Lookup::failed)
            return std::string();
        if (registered == Lookup::found) {
            // A module the driver registers under our name.
            for (const std::string& module : modules)
                if (lowered(fileNameOf(module)) == libraryName)
                    return trustedLocation(module) ? module : std::string();
            // The driver's own folder in the driver store.
            for (const std::string& module : modules) {
                std::string folder = folderOf(module);
                if (folder.empty())
                    continue;
                std::string candidate = folder + "\\" + libraryName;
                Lookup present = systemCalls.fileExists(candidate);
                if (present == Lookup::failed)
                    return std::string();
                if (present == Lookup::found)
                    return trustedLocation(candidate) ? candidate : std::string();
            }
        }
    }
    return systemLibraryPath(libraryName);
}

NvAPI_Status acquireBinding() {
    ensureSection();
    binding.inUse.fetch_add(1, std::memory_order_relaxed);
    if (binding.library)
        return NVAPI_OK;
    SectionGuard guard(binding.section);
    if (binding.library)
        return NVAPI_OK;
    return loadAndBind(locateLoggerLibrary());
}

} // namespace nvapi
