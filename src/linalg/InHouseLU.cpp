// In-house sparse LU: left-looking factorisation with partial pivoting and the two substitutions.
#include "linalg/InHouseLU.h"

#include <cmath>
#include <utility>

#include "linalg/Diagnostics.h"

namespace {

using Entry = std::pair<int, double>;

// The per-column loops do a few nanoseconds of work per row; below this size waking the threads
// for each of the n columns costs more than it saves (far more when another process holds a core).
constexpr int kParallelRows = 1 << 17;
// From this size on the factorisation takes seconds: report its progress every tenth.
constexpr int kProgressRows = 4000;

// Columns of A as lists of (row, value), rows ascending: gathering column i then costs the number
// of its entries instead of a scan over every row.
struct ColumnIndex {
    std::vector<int> start;
    std::vector<int> rows;
    std::vector<double> values;
};

ColumnIndex buildColumnIndex(int n, const int* rowStart, const int* colIndex, const double* values) {
    ColumnIndex index;
    index.start.assign(static_cast<size_t>(n) + 1, 0);
    for (int e = 0; e < rowStart[n]; ++e) {
        const int c = colIndex[e];
        if (c >= 0 && c < n) ++index.start[c + 1];
    }
    for (int c = 0; c < n; ++c) index.start[c + 1] += index.start[c];
    index.rows.resize(index.start[n]);
    index.values.resize(index.start[n]);
    std::vector<int> fill(index.start.begin(), index.start.end() - 1);
    for (int r = 0; r < n; ++r) {
        for (int e = rowStart[r]; e < rowStart[r + 1]; ++e) {
            const int c = colIndex[e];
            if (c < 0 || c >= n) continue;
            index.rows[fill[c]] = r;
            index.values[fill[c]] = values[e];
            ++fill[c];
        }
    }
    return index;
}

}  // namespace

InHouseLUResult factorizeInHouseLU(int n, const int* rowStart, const int* colIndex, const double* values,
                                   InHouseLUFactors& factors) {
    InHouseLUResult result;
    const ColumnIndex columns = buildColumnIndex(n, rowStart, colIndex, values);

    // Row k of the factors is A's row perm[k]; position[r] is where A's row r stands now.
    std::vector<int> perm(n), position(n);
    for (int k = 0; k < n; ++k) perm[k] = position[k] = k;
    std::vector<std::vector<Entry>> lu(n);
    // The multipliers of each finished column c as (row of A, value): the rows a U entry of
    // column c has to update, found without visiting the rows that have no multiplier there.
    std::vector<std::vector<Entry>> multipliers(n);
    std::vector<double> gathered(n, 0.0);
    std::vector<double> a(n, 0.0);
    std::vector<double> sum(n, 0.0);

    int nextReport = 1;
    for (int i = 0; i < n; ++i) {
        if (n >= kProgressRows && i * 10 >= nextReport * n) {
            diagPrintf("in-house LU: %d%% of %d columns\n", nextReport * 10, n);
            ++nextReport;
        }
        // Column i of A, in the current row order.
        for (int p = columns.start[i]; p < columns.start[i + 1]; ++p) gathered[columns.rows[p]] += columns.values[p];
#pragma omp parallel for schedule(static) if (n > kParallelRows)
        for (int k = 0; k < n; ++k) a[k] = gathered[perm[k]];
        for (int p = columns.start[i]; p < columns.start[i + 1]; ++p) gathered[columns.rows[p]] = 0.0;

        // a[k] -= sum over the multipliers (c, v) of row k with c < min(k, i) of v a[c]: the U
        // entries of column i (forward substitution with the unit lower triangle, k <= i) and the
        // updated rows below. Each sum is gathered over c in ascending order, as a walk along
        // row k would, but only the columns with a non-zero U entry contribute.
        std::fill(sum.begin(), sum.end(), 0.0);
        for (int c = 0; c < i; ++c) {
            a[c] -= sum[c];
            const double u = a[c];
            if (u == 0.0) continue;
            for (const Entry& m : multipliers[c]) sum[position[m.first]] += m.second * u;
        }
        for (int k = i; k < n; ++k) a[k] -= sum[k];

        int pivotRow = i;
        double largest = std::fabs(a[i]);
        for (int k = i + 1; k < n; ++k) {
            if (std::fabs(a[k]) > largest) {
                largest = std::fabs(a[k]);
                pivotRow = k;
            }
        }
        const double pivot = a[pivotRow];
        if (pivot == 0.0 || !std::isfinite(pivot)) {
            result.ok = false;
            result.failedColumn = i;
            result.pivot = pivot;
            break;
        }

        const double inverse = 1.0 / pivot;
#pragma omp parallel for schedule(static) if (n - i > kParallelRows)
        for (int k = i; k < n; ++k) a[k] *= inverse;
        a[pivotRow] = pivot;
        if (pivotRow != i) {
            std::swap(a[i], a[pivotRow]);
            std::swap(lu[i], lu[pivotRow]);
            std::swap(perm[i], perm[pivotRow]);
            position[perm[i]] = i;
            position[perm[pivotRow]] = pivotRow;
        }
        for (int k = 0; k < n; ++k) {
            if (a[k] != 0.0 || std::isnan(a[k])) {
                lu[k].emplace_back(i, a[k]);
                if (k > i) multipliers[i].emplace_back(perm[k], a[k]);
            }
        }
    }

    factors.rowStart.assign(static_cast<size_t>(n) + 1, 0);
    for (int k = 0; k < n; ++k) factors.rowStart[k + 1] = factors.rowStart[k] + static_cast<int>(lu[k].size());
    factors.colIndex.resize(factors.rowStart[n]);
    factors.values.resize(factors.rowStart[n]);
    for (int k = 0; k < n; ++k) {
        int e = factors.rowStart[k];
        for (const Entry& entry : lu[k]) {
            factors.colIndex[e] = entry.first;
            factors.values[e] = entry.second;
            ++e;
        }
    }
    factors.perm = std::move(perm);
    return result;
}

void solveInHouseLU(int n, const std::vector<int>& start, const std::vector<int>& cols,
                    const std::vector<double>& vals, const std::vector<int>& perm, const double* b, double* x) {
    std::vector<double> y(n);
    for (int k = 0; k < n; ++k) y[k] = b[perm[k]];

    for (int j = 0; j < n; ++j) {
        double sum = 0.0;
        for (int e = start[j]; e < start[j + 1] && cols[e] < j; ++e) sum += vals[e] * y[cols[e]];
        y[j] -= sum;
    }
    for (int j = n - 1; j >= 0; --j) {
        int diagonal = start[j];
        while (diagonal < start[j + 1] && cols[diagonal] < j) ++diagonal;
        double sum = 0.0;
        for (int e = diagonal + 1; e < start[j + 1]; ++e) sum += vals[e] * x[cols[e]];
        // A complete factorisation always holds the (non-zero) pivot on the diagonal.
        y[j] = (y[j] - sum) / vals[diagonal];
        x[j] = y[j];
    }
}
