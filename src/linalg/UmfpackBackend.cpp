// Loading of the UMFPACK wrapper library and the process-wide choice of the sparse back end.
#include "linalg/UmfpackBackend.h"

#include <dlfcn.h>

#include <cstdlib>
#include <vector>

#include "linalg/CholeskyFactor.h"
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
// The Cholesky back end is the default when the program was built with it.
bool g_cholesky = choleskyAvailable();
bool g_chosen = false;

}  // namespace

const UmfpackApi* activeUmfpackApi() { return g_cholesky ? nullptr : g_active; }

const UmfpackApi* fallbackUmfpackApi() { return g_lastLoaded; }

bool loadUmfpackLibrary(const std::string& dir) {
    const std::string path = dir + "libvelmora_umfpack.so";
    diagPrintf("\n\n!!!!!!!!!!!!!load umfpack dll %s ......\n", path.c_str());
    g_active = nullptr;
    g_cholesky = false;

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

SolverBackend activeSolverBackend() {
    if (g_cholesky) return SolverBackend::Cholmod;
    return g_active != nullptr ? SolverBackend::Umfpack : SolverBackend::InHouse;
}

const char* solverBackendName(SolverBackend backend) {
    switch (backend) {
        case SolverBackend::Cholmod:
            return "cholmod";
        case SolverBackend::Umfpack:
            return "umfpack";
        case SolverBackend::InHouse:
            break;
    }
    return "lu";
}

bool parseSolverBackend(const std::string& name, SolverBackend& backend) {
    for (SolverBackend b : {SolverBackend::Cholmod, SolverBackend::Umfpack, SolverBackend::InHouse}) {
        if (name == solverBackendName(b)) {
            backend = b;
            return true;
        }
    }
    return false;
}

bool solverBackendChosen() { return g_chosen; }

SolverBackend chooseSolverBackend(const std::string& dir, const std::string& requested) {
    g_chosen = true;
    const bool loaded = loadUmfpackLibrary(dir);
    std::string name = requested;
    if (name.empty()) {
        const char* fromEnvironment = std::getenv("VELMORA_SOLVER");
        if (fromEnvironment != nullptr) name = fromEnvironment;
    }
    SolverBackend wanted = choleskyAvailable() ? SolverBackend::Cholmod : SolverBackend::Umfpack;
    if (!name.empty() && !parseSolverBackend(name, wanted)) {
        diagPrintf("chooseSolverBackend: unknown solver '%s' (cholmod, umfpack or lu); using the default\n",
                   name.c_str());
        wanted = choleskyAvailable() ? SolverBackend::Cholmod : SolverBackend::Umfpack;
    }
    if (wanted == SolverBackend::Cholmod && !choleskyAvailable()) {
        diagPrintf("chooseSolverBackend: this build has no CHOLMOD; using %s\n", loaded ? "umfpack" : "lu");
        wanted = SolverBackend::Umfpack;
    }
    if (wanted == SolverBackend::Umfpack && !loaded) {
        // The load lines above already say why; the in-house LU does the work.
        wanted = SolverBackend::InHouse;
    }
    setSolverBackendForTesting(wanted);
    return activeSolverBackend();
}

bool setSolverBackendForTesting(SolverBackend backend) {
    if (backend == SolverBackend::Cholmod) {
        if (!choleskyAvailable()) return false;
        g_cholesky = true;
        return true;
    }
    if (backend == SolverBackend::InHouse) {
        g_cholesky = false;
        g_active = nullptr;
        return true;
    }
    if (g_lastLoaded == nullptr) return false;
    g_cholesky = false;
    g_active = g_lastLoaded;
    return true;
}
