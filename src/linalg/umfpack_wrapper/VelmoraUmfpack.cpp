// libvelmora_umfpack.so: forwards the five entry points to UMFPACK. Default controls, except the
// fill-reducing ordering: AMD first, METIS when AMD fills badly (it does on 3-D meshes of tens of
// thousands of vertices, where it halves the factorisation time).
#include "linalg/umfpack_wrapper/VelmoraUmfpack.h"

#include <umfpack.h>

#define VELMORA_EXPORT extern "C" __attribute__((visibility("default")))

VELMORA_EXPORT int t_umfpack_di_symbolic(int n_row, int n_col, const int* ap, const int* ai, const double* ax,
                                         void** symbolic) {
    *symbolic = nullptr;
    double control[UMFPACK_CONTROL];
    umfpack_di_defaults(control);
    control[UMFPACK_ORDERING] = UMFPACK_ORDERING_CHOLMOD;
    return umfpack_di_symbolic(n_row, n_col, ap, ai, ax, symbolic, control, nullptr);
}

VELMORA_EXPORT int t_umfpack_di_numeric(const int* ap, const int* ai, const double* ax, void* symbolic,
                                        void** numeric) {
    *numeric = nullptr;
    return umfpack_di_numeric(ap, ai, ax, symbolic, numeric, nullptr, nullptr);
}

VELMORA_EXPORT int t_umfpack_di_solve(int sys, const int* ap, const int* ai, const double* ax, double* x,
                                      const double* b, void* numeric) {
    return umfpack_di_solve(sys, ap, ai, ax, x, b, numeric, nullptr, nullptr);
}

VELMORA_EXPORT void t_umfpack_di_free_symbolic(void** symbolic) {
    if (symbolic != nullptr && *symbolic != nullptr) umfpack_di_free_symbolic(symbolic);
}

VELMORA_EXPORT void t_umfpack_di_free_numeric(void** numeric) {
    if (numeric != nullptr && *numeric != nullptr) umfpack_di_free_numeric(numeric);
}
