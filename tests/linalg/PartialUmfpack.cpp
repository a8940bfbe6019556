// A stand-in solver library that lacks some entry points, built once per missing set, to check how
// loading reacts. Its functions are never meant to be called and report failure if they are.
#define EXPORT extern "C" __attribute__((visibility("default")))

#ifndef OMIT_SYMBOLIC
EXPORT int t_umfpack_di_symbolic(int, int, const int*, const int*, const double*, void** symbolic) {
    *symbolic = nullptr;
    return -1;
}
#endif
#ifndef OMIT_NUMERIC
EXPORT int t_umfpack_di_numeric(const int*, const int*, const double*, void*, void** numeric) {
    *numeric = nullptr;
    return -1;
}
#endif
#ifndef OMIT_SOLVE
EXPORT int t_umfpack_di_solve(int, const int*, const int*, const double*, double*, const double*, void*) {
    return -1;
}
#endif
#ifndef OMIT_FREE_SYMBOLIC
EXPORT void t_umfpack_di_free_symbolic(void** symbolic) { *symbolic = nullptr; }
#endif
#ifndef OMIT_FREE_NUMERIC
EXPORT void t_umfpack_di_free_numeric(void** numeric) { *numeric = nullptr; }
#endif
