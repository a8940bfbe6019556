// TCholeskyFactor: CHOLMOD's supernodal Cholesky behind a small interface; the symbolic analyses
// are cached by sparsity pattern, and the dense kernels are held to one thread.
#include "linalg/CholeskyFactor.h"

#include "linalg/Diagnostics.h"
#include "linalg/TSparseMatrix.h"

#ifdef VELMORA_HAVE_CHOLMOD

#include <SuiteSparse_config.h>
#include <cholmod.h>
#include <malloc.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

// Patterns whose analysis is kept: the smoothing and the orientation systems of one mesh share
// theirs, a second slot keeps switching between two meshes (tests, tools) cheap.
constexpr size_t kCachedAnalyses = 2;
// Smallest accepted (min / max diagonal of L)^2, CHOLMOD's cheap reciprocal condition estimate.
// The field systems of meshes with tens of thousands of vertices give 1e-4 to 1e-2; a singular
// Laplacian system gives about 1e-15.
constexpr double kMinPivotRatio = 1e-12;
// Relative difference between an entry and its mirror still taken as rounding.
constexpr double kSymmetryTolerance = 1e-13;

// Large blocks (a factor's values: tens of megabytes for a mesh of 20,000 vertices) are kept when
// freed and handed out again, up to kKeptBlockBytes in all: a fresh block costs a page fault per
// page on first touch, a tenth of a factorisation's time.
constexpr size_t kLargeBlockBytes = size_t{8} << 20;
constexpr size_t kKeptBlockBytes = size_t{256} << 20;

// Every block is the C library's own (kept blocks are only held back from free), so blocks
// allocated before these functions were installed, or by another SuiteSparse user in the process,
// are freed correctly.
struct KeptBlocks {
    std::mutex lock;
    std::vector<void*> blocks;
    size_t bytes = 0;
};
KeptBlocks& keptBlocks() {
    static KeptBlocks* kept = new KeptBlocks;
    return *kept;
}

void* keptMalloc(size_t size) {
    if (size >= kLargeBlockBytes) {
        KeptBlocks& k = keptBlocks();
        std::lock_guard<std::mutex> hold(k.lock);
        for (size_t i = 0; i < k.blocks.size(); ++i) {
            const size_t usable = malloc_usable_size(k.blocks[i]);
            if (usable >= size && usable / 2 <= size) {
                void* block = k.blocks[i];
                k.blocks.erase(k.blocks.begin() + static_cast<long>(i));
                k.bytes -= usable;
                return block;
            }
        }
    }
    return std::malloc(size);
}

void keptFree(void* block) {
    if (block == nullptr) return;
    const size_t usable = malloc_usable_size(block);
    if (usable >= kLargeBlockBytes) {
        KeptBlocks& k = keptBlocks();
        std::lock_guard<std::mutex> hold(k.lock);
        if (k.bytes + usable <= kKeptBlockBytes) {
            k.blocks.push_back(block);
            k.bytes += usable;
            return;
        }
    }
    std::free(block);
}

void* keptCalloc(size_t count, size_t size) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    const size_t bytes = count * size;
    if (bytes < kLargeBlockBytes) return std::calloc(count, size);
    void* block = keptMalloc(bytes);
    if (block != nullptr) std::memset(block, 0, bytes);
    return block;
}

cholmod_common& common() {
    static cholmod_common* c = [] {
        SuiteSparse_config.malloc_func = keptMalloc;
        SuiteSparse_config.calloc_func = keptCalloc;
        SuiteSparse_config.free_func = keptFree;
        auto* made = new cholmod_common;
        cholmod_start(made);
        made->supernodal = CHOLMOD_SUPERNODAL;
        // Failures are reported by the callers as one line each; CHOLMOD's own printing stays off.
        made->print = 0;
        made->quick_return_if_not_posdef = 1;
        return made;
    }();
    return *c;
}

bool g_pinned = true;

/// Holds the OpenMP thread count (which the system BLAS follows) at one while it lives: a blocked
/// dense kernel split over another number of threads rounds differently. The factorisation's own
/// parallel loops ask for a fixed team of four whatever that count says; with dynamic teams on,
/// they get one thread too, instead of waking three that a two-core machine must then share with
/// the calling thread on every supernode.
class DenseKernelScope {
   public:
    DenseKernelScope() : m_previous(omp_get_max_threads()), m_previousDynamic(omp_get_dynamic()) {
        if (!g_pinned) return;
        omp_set_num_threads(1);
        omp_set_dynamic(1);
    }
    ~DenseKernelScope() {
        if (!g_pinned) return;
        omp_set_dynamic(m_previousDynamic);
        omp_set_num_threads(m_previous);
    }
    DenseKernelScope(const DenseKernelScope&) = delete;
    DenseKernelScope& operator=(const DenseKernelScope&) = delete;

   private:
    int m_previous;
    int m_previousDynamic;
};

/// The compressed rows of a symmetric matrix read as compressed columns (the same matrix), upper
/// triangle used. Refers to the matrix's arrays; never freed through CHOLMOD.
cholmod_sparse symmetricView(const TSparseMatrix& matrix) {
    cholmod_sparse view{};
    view.nrow = static_cast<size_t>(matrix.rowSize());
    view.ncol = static_cast<size_t>(matrix.colSize());
    view.nzmax = matrix.values().size();
    view.p = const_cast<int*>(matrix.rowStart().data());
    view.i = const_cast<int*>(matrix.colIndex().data());
    view.x = const_cast<double*>(matrix.values().data());
    view.stype = 1;
    view.itype = CHOLMOD_INT;
    view.xtype = CHOLMOD_REAL;
    view.dtype = CHOLMOD_DOUBLE;
    view.sorted = 1;
    view.packed = 1;
    return view;
}

/// True when every row is strictly ascending and the matrix equals its transpose up to rounding
/// (the Cholesky factorisation reads one triangle only, so any other matrix would be solved
/// wrongly).
/// One pass: row c's entries right of the diagonal are met in ascending order as the rows r > c
/// naming column c are visited in ascending order.
bool isSortedSymmetric(const TSparseMatrix& m) {
    const int n = m.rowSize();
    const int* start = m.rowStart().data();
    const int* column = m.colIndex().data();
    const double* value = m.values().data();
    std::vector<int> next(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r) {
        next[r] = start[r + 1];
        for (int e = start[r]; e < start[r + 1]; ++e) {
            if (column[e] < 0 || column[e] >= n || (e > start[r] && column[e - 1] >= column[e])) return false;
            if (column[e] > r && next[r] == start[r + 1]) next[r] = e;  // first entry right of the diagonal
        }
    }
    for (int r = 0; r < n; ++r) {
        for (int e = start[r]; e < start[r + 1]; ++e) {
            const int c = column[e];
            if (c >= r) break;
            const int mirror = next[c];
            if (mirror >= start[c + 1] || column[mirror] != r) return false;
            // Penalty blocks computed as (weight * w_a) * w_b differ from their mirror in the last bit.
            const double scale = std::max(std::fabs(value[mirror]), std::fabs(value[e]));
            if (!(std::fabs(value[mirror] - value[e]) <= kSymmetryTolerance * scale)) return false;
            ++next[c];
        }
    }
    for (int r = 0; r < n; ++r) {
        if (next[r] != start[r + 1]) return false;  // an entry right of the diagonal without its mirror
    }
    return true;
}

struct Analysis {
    std::vector<int> rowStart;
    std::vector<int> colIndex;
    cholmod_factor* symbolic = nullptr;
};

// Most recently used first. Never freed: the analyses live as long as the process.
std::vector<Analysis*>& analyses() {
    static auto* cache = new std::vector<Analysis*>();
    return *cache;
}

/// The symbolic factor for the matrix's pattern, analysed on first use; null when CHOLMOD fails.
cholmod_factor* symbolicFor(const TSparseMatrix& matrix) {
    std::vector<Analysis*>& cache = analyses();
    for (size_t k = 0; k < cache.size(); ++k) {
        Analysis* a = cache[k];
        if (a->rowStart == matrix.rowStart() && a->colIndex == matrix.colIndex()) {
            std::rotate(cache.begin(), cache.begin() + static_cast<long>(k), cache.begin() + static_cast<long>(k) + 1);
            return a->symbolic;
        }
    }
    cholmod_sparse view = symmetricView(matrix);
    cholmod_factor* symbolic = cholmod_analyze(&view, &common());
    if (symbolic == nullptr) return nullptr;
    auto* made = new Analysis{matrix.rowStart(), matrix.colIndex(), symbolic};
    cache.insert(cache.begin(), made);
    if (cache.size() > kCachedAnalyses) {
        Analysis* oldest = cache.back();
        cache.pop_back();
        cholmod_free_factor(&oldest->symbolic, &common());
        delete oldest;
    }
    return symbolic;
}

/// The pivot-ratio test every factor passes before it is used, whether it was computed afresh or
/// brought to a new matrix by updates and downdates: in floating point a singular matrix (L^T L
/// without constraints, or one whose last constraint was just downdated away) can come out with a
/// tiny positive pivot instead of a failure, and its solutions would be garbage. False, with the
/// reason in message, when CHOLMOD's estimate falls below kMinPivotRatio.
bool pivotRatioAcceptable(cholmod_factor* factor, cholmod_common& c, std::string& message) {
    const double pivotRatio = cholmod_rcond(factor, &c);
    if (pivotRatio >= kMinPivotRatio) return true;
    char text[64];
    std::snprintf(text, sizeof text, "%.3g", pivotRatio);
    message = std::string("numerically singular (pivot ratio ") + text + ")";
    return false;
}

}  // namespace

TCholeskyFactor::~TCholeskyFactor() { release(); }

void TCholeskyFactor::release() {
    if (m_factor != nullptr) cholmod_free_factor(&m_factor, &common());
    m_factor = nullptr;
}

int TCholeskyFactor::size() const { return m_factor != nullptr ? static_cast<int>(m_factor->n) : 0; }

bool TCholeskyFactor::factorize(const TSparseMatrix& matrix, std::string& message) {
    release();
    if (!matrix.isCompressed() || matrix.rowSize() != matrix.colSize() || matrix.rowSize() == 0) {
        message = "not a compressed non-empty square matrix";
        return false;
    }
    if (!isSortedSymmetric(matrix)) {
        message = "not symmetric, or rows not strictly ascending";
        return false;
    }
    cholmod_common& c = common();
    DenseKernelScope serial;
    cholmod_factor* symbolic = symbolicFor(matrix);
    if (symbolic == nullptr) {
        message = "CHOLMOD analysis failed (status " + std::to_string(c.status) + ")";
        return false;
    }
    cholmod_factor* factor = cholmod_copy_factor(symbolic, &c);
    if (factor == nullptr) {
        message = "out of memory copying the analysis";
        return false;
    }
    cholmod_sparse view = symmetricView(matrix);
    const int ok = cholmod_factorize(&view, factor, &c);
    if (!ok || c.status == CHOLMOD_NOT_POSDEF || factor->minor < factor->n) {
        message = c.status == CHOLMOD_NOT_POSDEF || (ok && factor->minor < factor->n)
                      ? "not positive definite (column " + std::to_string(factor->minor) + ")"
                      : "CHOLMOD factorisation failed (status " + std::to_string(c.status) + ")";
        cholmod_free_factor(&factor, &c);
        return false;
    }
    if (!pivotRatioAcceptable(factor, c, message)) {
        cholmod_free_factor(&factor, &c);
        return false;
    }
    m_factor = factor;
    return true;
}

bool TCholeskyFactor::updateDowndate(const std::vector<TRankOneTerm>& terms, bool downdate) {
    if (m_factor == nullptr) return false;
    if (terms.empty()) return true;
    cholmod_common& c = common();
    const int n = static_cast<int>(m_factor->n);
    // CHOLMOD wants C permuted like the factor: row i of c goes to the position i has in Perm.
    const int* perm = static_cast<const int*>(m_factor->Perm);
    std::vector<int> position(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) position[perm[k]] = k;

    size_t entries = 0;
    for (const TRankOneTerm& t : terms) entries += t.rows.size();
    cholmod_sparse* update =
        cholmod_allocate_sparse(static_cast<size_t>(n), terms.size(), entries, 1, 1, 0, CHOLMOD_REAL, &c);
    if (update == nullptr) {
        release();
        return false;
    }
    int* columnStart = static_cast<int*>(update->p);
    int* rows = static_cast<int*>(update->i);
    double* values = static_cast<double*>(update->x);
    std::vector<std::pair<int, double>> column;
    int e = 0;
    bool inRange = true;
    int outsideRow = 0;
    for (size_t t = 0; t < terms.size(); ++t) {
        columnStart[t] = e;
        column.clear();
        const TRankOneTerm& term = terms[t];
        for (size_t k = 0; k < term.rows.size() && k < term.values.size(); ++k) {
            if (term.rows[k] < 0 || term.rows[k] >= n) {
                inRange = false;
                outsideRow = term.rows[k];
                continue;
            }
            column.emplace_back(position[term.rows[k]], term.values[k]);
        }
        std::sort(column.begin(), column.end());
        for (const auto& entry : column) {
            rows[e] = entry.first;
            values[e] = entry.second;
            ++e;
        }
    }
    columnStart[terms.size()] = e;
    std::string reason;
    if (!inRange) {
        reason = "row " + std::to_string(outsideRow) + " outside the " + std::to_string(n) + " rows";
    } else {
        DenseKernelScope serial;
        if (cholmod_updown(downdate ? 0 : 1, update, m_factor, &c) == 0 || c.status != CHOLMOD_OK ||
            m_factor->minor < m_factor->n) {
            reason = m_factor->minor < m_factor->n
                         ? "not positive definite (column " + std::to_string(m_factor->minor) + ")"
                         : "CHOLMOD update failed (status " + std::to_string(c.status) + ")";
        } else {
            // The updated factor is held to the test a fresh one passes: a downdate can leave the
            // matrix singular with every pivot still positive.
            pivotRatioAcceptable(m_factor, c, reason);
        }
    }
    cholmod_free_sparse(&update, &c);
    if (reason.empty()) return true;
    diagPrintf("TCholeskyFactor::updateDowndate: %s; factor released\n", reason.c_str());
    release();
    return false;
}

bool TCholeskyFactor::solve(const double* b, double* x, int columns) const {
    if (m_factor == nullptr || columns < 1) return false;
    cholmod_common& c = common();
    cholmod_dense rhs{};
    rhs.nrow = m_factor->n;
    rhs.ncol = static_cast<size_t>(columns);
    rhs.nzmax = m_factor->n * static_cast<size_t>(columns);
    rhs.d = m_factor->n;
    rhs.x = const_cast<double*>(b);
    rhs.xtype = CHOLMOD_REAL;
    rhs.dtype = CHOLMOD_DOUBLE;
    DenseKernelScope serial;
    cholmod_dense* solution = cholmod_solve(CHOLMOD_A, m_factor, &rhs, &c);
    if (solution == nullptr) return false;
    std::memcpy(x, solution->x, m_factor->n * static_cast<size_t>(columns) * sizeof(double));
    cholmod_free_dense(&solution, &c);
    return true;
}

bool choleskyAvailable() { return true; }

void setCholeskyDenseKernelsPinned(bool pinned) { g_pinned = pinned; }

#else  // built without CHOLMOD: every factorisation is refused and the LU back ends do the work

TCholeskyFactor::~TCholeskyFactor() = default;
void TCholeskyFactor::release() {}
int TCholeskyFactor::size() const { return 0; }
bool TCholeskyFactor::factorize(const TSparseMatrix&, std::string& message) {
    message = "built without CHOLMOD";
    return false;
}
bool TCholeskyFactor::updateDowndate(const std::vector<TRankOneTerm>&, bool) { return false; }
bool TCholeskyFactor::solve(const double*, double*, int) const { return false; }
bool choleskyAvailable() { return false; }
void setCholeskyDenseKernelsPinned(bool) {}

#endif
