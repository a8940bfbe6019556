// TSparseMatrix: row-list assembly, compressed rows, the Gram product, the uniform Laplacian and
// the dispatch of factorisation and solve to the active back end.
#include "linalg/TSparseMatrix.h"

#include <algorithm>
#include <atomic>

#include "linalg/CholeskyFactor.h"
#include "linalg/Diagnostics.h"
#include "linalg/InHouseLU.h"
#include "linalg/UmfpackBackend.h"

namespace {

// Rows below this count are multiplied on one thread.
constexpr int kParallelGramRows = 512;

const char* const kNotReady = "error mat field is not ready!\n          ";
const char* const kNotSquare = "error row size is not equal to col size\n";

std::uint64_t nextCompressStamp() {
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

}  // namespace

TSparseMatrix::TSparseMatrix(int rowSize, int colSize) {
    if (rowSize < 0 || colSize < 0) {
        diagPrintf("TSparseMatrix: negative size %d x %d taken as empty\n", rowSize, colSize);
        rowSize = std::max(rowSize, 0);
        colSize = std::max(colSize, 0);
    }
    m_rowSize = rowSize;
    m_colSize = colSize;
    m_rows.resize(rowSize);
    diagPrintf("TSparseMatrix created %d %d\n", rowSize, colSize);
}

TSparseMatrix::~TSparseMatrix() { clear(); }

void TSparseMatrix::clear() {
    for (std::vector<Entry>& r : m_rows) {
        r.clear();
        r.shrink_to_fit();
    }
    m_rows.resize(m_rowSize);
    freeFactorization();
    m_rowStart = {};
    m_colIndex = {};
    m_values = {};
    m_compressed = false;
    m_compressStamp = nextCompressStamp();
}

void TSparseMatrix::appendEntry(int row, int column, double value) {
    if (row < 0 || row >= m_rowSize || column < 0 || column >= m_colSize) {
        diagPrintf("TSparseMatrix::appendEntry: entry (%d, %d) outside the %d x %d matrix, ignored\n", row, column,
                   m_rowSize, m_colSize);
        return;
    }
    m_rows[row].emplace_back(column, value);
}

void TSparseMatrix::addToEntry(int row, int column, double value) {
    if (row < 0 || row >= m_rowSize) return;
    std::vector<Entry>& entries = m_rows[row];
    auto found = std::find_if(entries.begin(), entries.end(), [column](const Entry& e) { return e.first == column; });
    if (found == entries.end()) return;
    found->second += value;
    if (!m_compressed) return;
    for (int e = m_rowStart[row]; e < m_rowStart[row + 1]; ++e) {
        if (m_colIndex[e] == column) {
            m_values[e] += value;
            break;
        }
    }
}

int TSparseMatrix::entryCount() const {
    size_t count = 0;
    for (const std::vector<Entry>& r : m_rows) count += r.size();
    return static_cast<int>(count);
}

void TSparseMatrix::compress(int entryCount) {
    const int present = this->entryCount();
    if (entryCount != present) {
        // The arrays are sized by what the rows hold, so a wrong count cannot overrun them.
        diagPrintf("TSparseMatrix::compress: %d entries announced, %d present\n", entryCount, present);
    }
    // A factorisation refers to the compressed arrays it was made from.
    freeFactorization();
    m_rowStart.assign(static_cast<size_t>(m_rowSize) + 1, 0);
    m_colIndex.resize(present);
    m_values.resize(present);
    int e = 0;
    for (int r = 0; r < m_rowSize; ++r) {
        m_rowStart[r] = e;
        for (const Entry& entry : m_rows[r]) {
            m_colIndex[e] = entry.first;
            m_values[e] = entry.second;
            ++e;
        }
    }
    m_rowStart[m_rowSize] = e;
    m_compressed = true;
    m_compressStamp = nextCompressStamp();
}

int TSparseMatrix::calcGramMatrix(TSparseMatrix& result) const {
    if (result.m_rowSize != m_rowSize) {
        diagPrintf("error 111123\n");
        return 0;
    }
    const int n = m_rowSize;

    // Column -> (row, value) index with rows ascending, so that row j meets exactly the rows it
    // shares a column with.
    int columnCount = m_colSize;
    for (const std::vector<Entry>& r : m_rows) {
        for (const Entry& e : r) columnCount = std::max(columnCount, e.first + 1);
    }
    std::vector<int> columnStart(static_cast<size_t>(columnCount) + 1, 0);
    for (const std::vector<Entry>& r : m_rows) {
        for (const Entry& e : r) {
            if (e.first >= 0) ++columnStart[e.first + 1];
        }
    }
    for (int c = 0; c < columnCount; ++c) columnStart[c + 1] += columnStart[c];
    std::vector<int> columnRows(columnStart[columnCount]);
    std::vector<double> columnValues(columnStart[columnCount]);
    {
        std::vector<int> fill(columnStart.begin(), columnStart.end() - 1);
        for (int r = 0; r < n; ++r) {
            for (const Entry& e : m_rows[r]) {
                if (e.first < 0) continue;
                columnRows[fill[e.first]] = r;
                columnValues[fill[e.first]] = e.second;
                ++fill[e.first];
            }
        }
    }

    std::vector<std::vector<Entry>> product(n);
    long long total = 0;
#pragma omp parallel if (n > kParallelGramRows)
    {
        // Per-thread accumulators; each thread writes only its own product rows. The sum for
        // (j, k) is accumulated over the columns of row j in ascending order, exactly the order of
        // a merge of rows j and k, so the values do not depend on the thread count.
        std::vector<double> sum(n, 0.0);
        std::vector<int> lastRow(n, -1);
        std::vector<int> touched;
#pragma omp for schedule(static) reduction(+ : total)
        for (int j = 0; j < n; ++j) {
            touched.clear();
            for (const Entry& ej : m_rows[j]) {
                if (ej.first < 0) continue;
                for (int p = columnStart[ej.first]; p < columnStart[ej.first + 1]; ++p) {
                    const int k = columnRows[p];
                    if (lastRow[k] != j) {
                        lastRow[k] = j;
                        sum[k] = 0.0;
                        touched.push_back(k);
                    }
                    sum[k] += ej.second * columnValues[p];
                }
            }
            std::sort(touched.begin(), touched.end());
            std::vector<Entry>& out = product[j];
            out.reserve(touched.size());
            for (int k : touched) out.emplace_back(k, sum[k]);
            total += static_cast<long long>(touched.size());
        }
    }

    result.clear();
    result.m_rows = std::move(product);
    return static_cast<int>(total);
}

void TSparseMatrix::setUniformLaplacian(const std::vector<vec3>& positions,
                                        const std::vector<std::vector<int>>& neighbours) {
    const int n = static_cast<int>(positions.size());
    if (m_rowSize != n || n != m_colSize || static_cast<int>(neighbours.size()) != n) {
        // Filling rows that do not exist would write out of bounds: leave the matrix as it is.
        diagPrintf("error1211\n");
        return;
    }
    clear();
    int outOfRange = 0;
    for (int i = 0; i < n; ++i) {
        m_rows[i].emplace_back(i, 1.0);
        const std::vector<int>& list = neighbours[i];
        int d = static_cast<int>(list.size());
        if (std::find(list.begin(), list.end(), i) != list.end()) --d;
        for (int f : list) {
            if (f == i) continue;
            if (f < 0 || f >= n) {
                ++outOfRange;
                continue;
            }
            m_rows[f].emplace_back(i, -1.0 / d);
        }
    }
    if (outOfRange > 0) {
        diagPrintf("TSparseMatrix::setUniformLaplacian: %d neighbour indices out of range skipped\n", outOfRange);
    }
}

void TSparseMatrix::factorize() {
    if (!m_compressed) {
        diagPrintf("%s", kNotReady);
        return;
    }
    freeFactorization();
    if (m_rowSize != m_colSize) {
        diagPrintf("%s", kNotSquare);
        return;
    }
    if (activeSolverBackend() == SolverBackend::Cholmod && m_rowSize > 0) {
        auto cholesky = std::make_unique<TCholeskyFactor>();
        std::string reason;
        if (cholesky->factorize(*this, reason)) {
            m_cholesky = std::move(cholesky);
            return;
        }
        diagPrintf("TSparseMatrix::factorize: Cholesky refused the matrix (%s); factorising by LU\n", reason.c_str());
        factorizeLU(fallbackUmfpackApi());
        return;
    }
    factorizeLU(activeUmfpackApi());
}

void TSparseMatrix::factorizeLU(const UmfpackApi* api) {
    // UMFPACK refuses an empty system; the in-house path handles it trivially.
    if (api != nullptr && m_rowSize > 0) {
        factorizeUmfpack(*api);
    } else {
        factorizeInHouse();
    }
}

void TSparseMatrix::factorizeUmfpack(const UmfpackApi& api) {
    const int n = m_colSize;
    m_handleOwner = &api;
    const int symbolicStatus =
        api.symbolic(n, n, m_rowStart.data(), m_colIndex.data(), m_values.data(), &m_symbolic);
    if (symbolicStatus < 0 || m_symbolic == nullptr) {
        diagPrintf("TSparseMatrix::factorize: UMFPACK symbolic analysis failed (status %d)\n", symbolicStatus);
        m_factorFailed = true;
        return;
    }
    const int numericStatus = api.numeric(m_rowStart.data(), m_colIndex.data(), m_values.data(), m_symbolic, &m_numeric);
    if (numericStatus < 0 || m_numeric == nullptr) {
        diagPrintf("TSparseMatrix::factorize: UMFPACK numeric factorisation failed (status %d)\n", numericStatus);
        m_factorFailed = true;
    } else if (numericStatus == 1) {
        diagPrintf("TSparseMatrix::factorize: the matrix is singular (UMFPACK status 1)\n");
        m_factorFailed = true;
    }
}

void TSparseMatrix::factorizeInHouse() {
    InHouseLUFactors factors;
    const InHouseLUResult outcome =
        factorizeInHouseLU(m_rowSize, m_rowStart.data(), m_colIndex.data(), m_values.data(), factors);
    if (!outcome.ok) {
        diagPrintf("TSparseMatrix::factorize: the matrix is singular (pivot %g in column %d)\n", outcome.pivot,
                   outcome.failedColumn);
        m_factorFailed = true;
        return;
    }
    m_luRowStart = std::move(factors.rowStart);
    m_luColIndex = std::move(factors.colIndex);
    m_luValues = std::move(factors.values);
    m_luPerm = std::move(factors.perm);
    m_luFactored = true;
}

void TSparseMatrix::solve(const double* b, double* x, int columns) {
    if (!m_compressed) {
        diagPrintf("%s", kNotReady);
        return;
    }
    if (!hasFactorization() && !m_factorFailed) {
        if (m_rowSize != m_colSize) {
            diagPrintf("%s", kNotSquare);
            return;
        }
        factorize();
    }
    if (m_factorFailed) {
        diagPrintf("TSparseMatrix::solve: no usable factorisation, solution left unchanged\n");
        return;
    }
    if (m_cholesky != nullptr) {
        if (!m_cholesky->solve(b, x, columns)) diagPrintf("TSparseMatrix::solve: CHOLMOD solve failed\n");
        return;
    }
    if (columns > 1) {
        for (int c = 0; c < columns; ++c) {
            const size_t column = static_cast<size_t>(c) * m_colSize;
            solve(b + column, x + column);
        }
        return;
    }
    if (m_numeric != nullptr) {
        const int status = m_handleOwner->solve(kUmfpackTransposedSystem, m_rowStart.data(), m_colIndex.data(),
                                                m_values.data(), x, b, m_numeric);
        if (status != 0) diagPrintf("TSparseMatrix::solve: UMFPACK solve failed (status %d)\n", status);
        return;
    }
    solveInHouseLU(m_rowSize, m_luRowStart, m_luColIndex, m_luValues, m_luPerm, b, x);
}

void TSparseMatrix::freeUmfpackHandles() {
    if (m_handleOwner != nullptr) {
        if (m_symbolic != nullptr) m_handleOwner->freeSymbolic(&m_symbolic);
        if (m_numeric != nullptr) m_handleOwner->freeNumeric(&m_numeric);
    }
    m_symbolic = nullptr;
    m_numeric = nullptr;
    m_handleOwner = nullptr;
}

std::unique_ptr<TCholeskyFactor> TSparseMatrix::releaseCholeskyFactor() { return std::move(m_cholesky); }

void TSparseMatrix::freeFactorization() {
    freeUmfpackHandles();
    m_cholesky.reset();
    m_luRowStart = {};
    m_luColIndex = {};
    m_luValues = {};
    m_luPerm = {};
    m_luFactored = false;
    m_factorFailed = false;
}
