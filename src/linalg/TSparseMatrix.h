// TSparseMatrix: square sparse system assembled as row lists, compressed once, factorised by the
// process-wide back end (CHOLMOD's Cholesky, UMFPACK through libvelmora_umfpack.so, or the in-house
// LU).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "linalg/vec3.h"

struct UmfpackApi;
class TCholeskyFactor;

/// One sparse system. Rows are appended in ascending column order by every producer; nothing sorts
/// them. Used from the user-interface thread; some loops inside run on OpenMP threads.
/// Owned by its creator (the heart model keeps one, the orientation solver builds its own).
class TSparseMatrix {
public:
    using Entry = std::pair<int, double>;  // (column, value)

    /// Creates rowSize empty rows; prints "TSparseMatrix created %d %d\n".
    TSparseMatrix(int rowSize, int colSize);
    ~TSparseMatrix();
    TSparseMatrix(const TSparseMatrix&) = delete;
    TSparseMatrix& operator=(const TSparseMatrix&) = delete;

    /// Empties every row, frees the compressed form and any factorisation.
    void clear();
    /// Appends (column, value) at the end of the row; an entry outside the matrix is reported and
    /// ignored.
    void appendEntry(int row, int column, double value);
    /// Adds value to the existing entry (row, column) in both forms; does nothing when absent.
    void addToEntry(int row, int column, double value);
    /// Builds the compressed rows from the lists; entryCount is the total number of entries (a count
    /// that differs from the rows is reported; the arrays always take every entry). Releases any
    /// factorisation, which referred to the previous arrays.
    void compress(int entryCount);
    /// Fills result with the Gram product: an entry (j, k) = row j . row k for every pair of rows
    /// sharing at least one column (also when the sum is 0), columns ascending. Rows are shared
    /// among threads through a column-to-rows index; the values do not depend on the thread count.
    /// Returns the entry count; 0 with "error 111123\n" (result untouched) when the row counts differ.
    int calcGramMatrix(TSparseMatrix& result) const;
    /// Rows become the columns of the uniform graph Laplacian of the neighbour lists (each list may
    /// hold the vertex itself, which is not counted). Sizes that disagree print "error1211\n" and
    /// leave the matrix unchanged.
    void setUniformLaplacian(const std::vector<vec3>& positions, const std::vector<std::vector<int>>& neighbours);
    /// Factorises the compressed form with the active back end (any earlier factorisation is
    /// released first). A singular matrix or a solver error is reported on the console and leaves
    /// the matrix without a usable factorisation. With the Cholesky back end a matrix that is not
    /// symmetric positive definite is reported on the console and factorised by LU instead
    /// (UMFPACK when its library was loaded, else the in-house LU).
    void factorize();
    /// Solves A x = b (both colSize doubles; with columns > 1, that many right-hand sides one after
    /// the other, which the Cholesky back end solves together), factorising first when no
    /// factorisation exists; x untouched on the reported failures (no compressed form, non-square,
    /// failed factorisation).
    void solve(const double* b, double* x, int columns = 1);
    /// Frees the factorisation, keeps rows and compressed form.
    void freeFactorization();
    /// Hands over the Cholesky factor of the last factorize (null when another back end made it);
    /// the matrix is then left without a factorisation.
    std::unique_ptr<TCholeskyFactor> releaseCholeskyFactor();
    /// Identifies the compressed form: a new value, unique in the process, after every compress
    /// and clear, so a factor kept elsewhere can tell whether it still belongs to this matrix.
    std::uint64_t compressStamp() const { return m_compressStamp; }

    int rowSize() const { return m_rowSize; }
    int colSize() const { return m_colSize; }
    const std::vector<Entry>& row(int r) const { return m_rows[r]; }
    bool isCompressed() const { return m_compressed; }
    bool hasFactorization() const { return m_numeric != nullptr || m_luFactored || m_cholesky != nullptr; }
    /// True after a factorize that found the matrix singular or got an error from the solver.
    bool factorizationFailed() const { return m_factorFailed; }
    /// Total number of entries in the row lists.
    int entryCount() const;

    /// The compressed form (empty before compress): row r's entries are
    /// [rowStart()[r], rowStart()[r + 1]) of colIndex() and values().
    const std::vector<int>& rowStart() const { return m_rowStart; }
    const std::vector<int>& colIndex() const { return m_colIndex; }
    const std::vector<double>& values() const { return m_values; }
    /// The in-house LU factors (empty unless that back end factorised the matrix): the combined
    /// L and U in compressed rows and the row permutation.
    const std::vector<int>& luRowStart() const { return m_luRowStart; }
    const std::vector<int>& luColIndex() const { return m_luColIndex; }
    const std::vector<double>& luValues() const { return m_luValues; }
    const std::vector<int>& luPerm() const { return m_luPerm; }

private:
    // m_rowSize is the one stored row count: m_rows and m_rowStart are sized from it.
    int m_rowSize = 0;
    int m_colSize = 0;
    std::vector<std::vector<Entry>> m_rows;
    std::vector<int> m_rowStart;
    std::vector<int> m_colIndex;
    std::vector<double> m_values;
    void* m_symbolic = nullptr;
    void* m_numeric = nullptr;
    std::vector<int> m_luRowStart;
    std::vector<int> m_luColIndex;
    std::vector<double> m_luValues;
    std::vector<int> m_luPerm;

    void factorizeLU(const UmfpackApi* api);
    void factorizeUmfpack(const UmfpackApi& api);
    void factorizeInHouse();
    void freeUmfpackHandles();

    bool m_compressed = false;
    bool m_luFactored = false;
    bool m_factorFailed = false;
    // Library whose handles m_symbolic/m_numeric are; they must be released through it.
    const UmfpackApi* m_handleOwner = nullptr;
    std::unique_ptr<TCholeskyFactor> m_cholesky;
    std::uint64_t m_compressStamp = 0;
};

/// Which back end the process uses; chosen once at start-up by chooseSolverBackend.
enum class SolverBackend { InHouse, Umfpack, Cholmod };

/// Opens dir + "libvelmora_umfpack.so" and looks up its five entry points; prints the load and
/// failure lines. On success the UMFPACK back end becomes active, otherwise the in-house one.
/// dir ends with '/' or is empty. A library that was loaded stays loaded until exit (and serves
/// as the LU fallback of the Cholesky back end).
bool loadUmfpackLibrary(const std::string& dir);

/// Reads "cholmod", "umfpack" or "lu" (the in-house LU); false for anything else.
bool parseSolverBackend(const std::string& name, SolverBackend& backend);

/// The program's start-up choice: loads the UMFPACK wrapper from dir (with its lines), then makes
/// `requested` active, or when it is empty the VELMORA_SOLVER environment variable's back end,
/// else CHOLMOD when the program was built with it. An unknown name in VELMORA_SOLVER or a back
/// end that is not available is reported on the console and the best available one is used.
/// Returns the active back end.
SolverBackend chooseSolverBackend(const std::string& dir, const std::string& requested);

/// True once chooseSolverBackend has run in this process.
bool solverBackendChosen();

/// The active back end (CHOLMOD when built with it, until a loadUmfpackLibrary or a choice).
SolverBackend activeSolverBackend();

/// "cholmod", "umfpack" or "lu".
const char* solverBackendName(SolverBackend backend);

/// Lets tests run the same solve on every back end in one process; returns false when Umfpack is
/// asked for but no library has been loaded, or Cholmod in a build without it.
bool setSolverBackendForTesting(SolverBackend backend);
