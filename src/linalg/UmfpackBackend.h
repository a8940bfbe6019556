// The process-wide sparse back end: the entry points of a loaded UMFPACK wrapper library.
#pragma once

#include <string>

#include "linalg/umfpack_wrapper/VelmoraUmfpack.h"

/// Entry points of one successfully loaded wrapper library. Such a library is never unloaded, so a
/// matrix can always release handles it made, whatever the active back end has become since.
struct UmfpackApi {
    std::string path;
    void* library = nullptr;
    decltype(&t_umfpack_di_symbolic) symbolic = nullptr;
    decltype(&t_umfpack_di_numeric) numeric = nullptr;
    decltype(&t_umfpack_di_solve) solve = nullptr;
    decltype(&t_umfpack_di_free_symbolic) freeSymbolic = nullptr;
    decltype(&t_umfpack_di_free_numeric) freeNumeric = nullptr;
};

/// The library of the active UMFPACK back end, or null while another back end is active.
const UmfpackApi* activeUmfpackApi();

/// The LU the Cholesky back end falls back to: the last library loaded, or null (in-house LU).
const UmfpackApi* fallbackUmfpackApi();

/// UMFPACK's system code for solving with the transposed matrix: the compressed rows read as
/// compressed columns are the transpose of the stored matrix, so this solves the stored system.
constexpr int kUmfpackTransposedSystem = 1;
