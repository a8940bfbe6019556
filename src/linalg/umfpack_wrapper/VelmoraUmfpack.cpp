// libvelmora_umfpack.so: forwards the five entry points to UMFPACK. Default controls, except the
// fill-reducing ordering: AMD first, METIS when AMD fills badly (it does on 3-D meshes of tens of
// thousands of vertices, where it halves the factorisation time).
#include "linalg/umfpack_wrapper/VelmoraUmfpack.h"

#include <omp.h>
#include <umfpack.h>

#define VELMORA_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
/// Runs the dense kernels inside UMFPACK on one thread while it lives. The system BLAS follows the
/// OpenMP thread count, and a blocked kernel split another way rounds differently: without this
/// the fields, and from them the beat, would depend on how many threads the program runs.
class SingleThreadedBlas {
public:
    SingleThreadedBlas() : m_previous(omp_get_max_threads()) { omp_set_num_threads(1); }
    ~SingleThreadedBlas() { omp_set_num_threads(m_previous); }
    SingleThreadedBlas(const SingleThreadedBlas&) = delete;
    SingleThreadedBlas& operator=(const SingleThreadedBlas&) = delete;

private:
    int m_previous;
};
}  // namespace

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
    SingleThreadedBlas serial;
    return umfpack_di_numeric(ap, ai, ax, symbolic, numeric, nullptr, nullptr);
}

VELMORA_EXPORT int t_umfpack_di_solve(int sys, const int* ap, const int* ai, const double* ax, double* x,
                                      const double* b, void* numeric) {
    SingleThreadedBlas serial;
    return umfpack_di_solve(sys, ap, ai, ax, x, b, numeric, nullptr, nullptr);
}

VELMORA_EXPORT void t_umfpack_di_free_symbolic(void** symbolic) {
    if (symbolic != nullptr && *symbolic != nullptr) umfpack_di_free_symbolic(symbolic);
}

VELMORA_EXPORT void t_umfpack_di_free_numeric(void** numeric) {
    if (numeric != nullptr && *numeric != nullptr) umfpack_di_free_numeric(numeric);
}
