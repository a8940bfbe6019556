// Loading of the UMFPACK wrapper library and the process-wide choice of the sparse back end.
#include "linalg/UmfpackBackend.h"

#include <dlfcn.h>

#include <vector>

#include "linalg/Diagnostics.h"
#include "linalg/TSparseMatrix.h"

namespace {

// Every library loaded with all five entry points; intentionally never freed (handles made by a
// library may outlive any static destructor order).
std::vector<UmfpackApi*>& loadedLibraries() {
    static auto* libraries = new std::vector<UmfpackApi*>();
    return *libraries;
}

const UmfpackApi* g_active = nullptr;
const UmfpackApi* g_lastLoaded = nullptr;

}  // namespace

const UmfpackApi* activeUmfpackApi() { return g_active; }

bool loadUmfpackLibrary(const std::string& dir) {
    const std::string path = dir + "libvelmora_umfpack.so";
    diagPrintf("\n\n!!!!!!!!!!!!!load umfpack dll %s ......\n", path.c_str());
    g_active = nullptr;

    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return false;

    UmfpackApi api;
    api.path = path;
    api.library = library;
    api.symbolic = reinterpret_cast<decltype(api.symbolic)>(dlsym(library, "t_umfpack_di_symbolic"));
    api.numeric = reinterpret_cast<decltype(api.numeric)>(dlsym(library, "t_umfpack_di_numeric"));
    api.solve = reinterpret_cast<decltype(api.solve)>(dlsym(library, "t_umfpack_di_solve"));
    api.freeSymbolic = reinterpret_cast<decltype(api.freeSymbolic)>(dlsym(library, "t_umfpack_di_free_symbolic"));
    api.freeNumeric = reinterpret_cast<decltype(api.freeNumeric)>(dlsym(library, "t_umfpack_di_free_numeric"));

    const char* missing = nullptr;
    if (api.symbolic == nullptr) missing = "fail : t_dll_umfpack_di_symbolic\n";
    else if (api.numeric == nullptr) missing = "fail : t_dll_umfpack_di_numeric\n";
    else if (api.solve == nullptr) missing = "fail : t_dll_umfpack_di_solve\n";
    else if (api.freeSymbolic == nullptr) missing = "fail : t_dll_umfpack_di_free_symbolic\n";
    else if (api.freeNumeric == nullptr) missing = "fail : t_dll_umfpack_di_free_numeric\n";
    if (missing != nullptr) {
        diagPrintf("%s", missing);
        dlclose(library);
        return false;
    }

    // The same file opened again yields the same handle: reuse its record.
    UmfpackApi* record = nullptr;
    for (UmfpackApi* known : loadedLibraries()) {
        if (known->library == library) record = known;
    }
    if (record != nullptr) {
        dlclose(library);  // drop the extra reference; the first one keeps it loaded
    } else {
        record = new UmfpackApi(api);
        loadedLibraries().push_back(record);
    }
    g_active = record;
    g_lastLoaded = record;
    diagPrintf("Done!!\n");
    return true;
}

SolverBackend activeSolverBackend() { return g_active != nullptr ? SolverBackend::Umfpack : SolverBackend::InHouse; }

bool setSolverBackendForTesting(SolverBackend backend) {
    if (backend == SolverBackend::InHouse) {
        g_active = nullptr;
        return true;
    }
    if (g_lastLoaded == nullptr) return false;
    g_active = g_lastLoaded;
    return true;
}
