// Entry points of libvelmora_umfpack.so, the thin UMFPACK ("di": int indices, double values)
// wrapper that the sparse matrix loads at run time.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/// Symbolic analysis of the n_row x n_col matrix given by column pointers ap, row indices ai and
/// values ax (the row indices of each column ascending, no duplicates). *symbolic receives the
/// handle (null on failure). Returns UMFPACK's status: 0 ok, > 0 warning, < 0 error.
int t_umfpack_di_symbolic(int n_row, int n_col, const int* ap, const int* ai, const double* ax, void** symbolic);

/// Numeric factorisation of the same arrays with the symbolic handle; *numeric receives the
/// handle (null on error). Returns UMFPACK's status (1 = singular matrix).
int t_umfpack_di_numeric(const int* ap, const int* ai, const double* ax, void* symbolic, void** numeric);

/// Solves the system selected by sys (UMFPACK's system codes; 1 = the transposed matrix) with the
/// numeric factorisation: x receives the solution, b is the right-hand side. Returns the status.
int t_umfpack_di_solve(int sys, const int* ap, const int* ai, const double* ax, double* x, const double* b,
                       void* numeric);

/// Releases a symbolic handle and sets it to null.
void t_umfpack_di_free_symbolic(void** symbolic);

/// Releases a numeric handle and sets it to null.
void t_umfpack_di_free_numeric(void** numeric);

#ifdef __cplusplus
}
#endif
