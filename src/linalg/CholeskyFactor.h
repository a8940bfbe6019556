// TCholeskyFactor: sparse Cholesky factorisation (CHOLMOD, supernodal) of a symmetric positive
// definite TSparseMatrix, with rank-k updates and downdates of the stored factor.
#pragma once

#include <string>
#include <vector>

class TSparseMatrix;
struct cholmod_factor_struct;

/// One rank-one term c c^T of an update or downdate: the rows where c is non-zero (each once, any
/// order, 0-based) and c's values there.
struct TRankOneTerm {
    std::vector<int> rows;
    std::vector<double> values;
};

/// A numeric Cholesky factor P A P^T = L L^T (or L D L^T after an update). The fill-reducing
/// ordering and symbolic analysis are computed once per sparsity pattern and shared by every
/// matrix with that pattern, so refactorising a matrix of the same mesh costs the numeric part
/// only. Owned by the matrix that factorised it or by a field that keeps it for updates. The dense
/// kernels run on one thread, so results do not depend on the OpenMP thread count. UI thread only.
class TCholeskyFactor {
   public:
    TCholeskyFactor() = default;
    ~TCholeskyFactor();
    TCholeskyFactor(const TCholeskyFactor&) = delete;
    TCholeskyFactor& operator=(const TCholeskyFactor&) = delete;

    /// Factorises the compressed square matrix, reading its upper triangle (the matrix must be
    /// symmetric). False, with the reason in message and no factor kept, when it is not positive
    /// definite, numerically singular (smallest to largest pivot below 1e-12) or CHOLMOD fails.
    bool factorize(const TSparseMatrix& matrix, std::string& message);
    /// Replaces the factor of A by that of A + sum c c^T (downdate false) or A - sum c c^T. The
    /// result is held to factorize's tests, the pivot ratio included. False (factor released, one
    /// console line with the reason) when a row is out of range, a downdate loses positive
    /// definiteness, the updated factor is numerically singular or CHOLMOD fails; the caller then
    /// factorises the new matrix afresh.
    bool updateDowndate(const std::vector<TRankOneTerm>& terms, bool downdate);
    /// Solves A x = b (size() doubles each; with columns > 1, that many right-hand sides one after
    /// the other, solved together); false when there is no factor.
    bool solve(const double* b, double* x, int columns = 1) const;
    bool isValid() const { return m_factor != nullptr; }
    /// Order of the factorised matrix (0 without a factor).
    int size() const;
    void release();

   private:
    cholmod_factor_struct* m_factor = nullptr;
};

/// True when the program was built with CHOLMOD.
bool choleskyAvailable();

/// Whether CHOLMOD's dense kernels are held to one thread (the default, for results independent of
/// the thread count). Benchmarks turn it off to measure what a second core would give.
void setCholeskyDenseKernelsPinned(bool pinned);
