// In-house sparse LU with partial pivoting: the fallback when no UMFPACK library is loaded.
#pragma once

#include <vector>

/// L and U of P A = L U stored together in compressed rows: in row k, the entries before the
/// diagonal are the multipliers of the unit lower triangle L, the diagonal and the entries after it
/// are U. perm[k] is the row of A that became row k.
struct InHouseLUFactors {
    std::vector<int> rowStart;
    std::vector<int> colIndex;
    std::vector<double> values;
    std::vector<int> perm;
};

/// Outcome of factorizeInHouseLU; failedColumn is the column whose pivot was 0 or not a number.
struct InHouseLUResult {
    bool ok = true;
    int failedColumn = -1;
    double pivot = 0.0;
};

/// Left-looking LU (column by column, partial pivoting: the first row with the largest magnitude)
/// of the n x n matrix in compressed rows (columns ascending within a row; repeated columns add up).
/// Stops at the first zero or non-finite pivot and reports it; factors are then incomplete. Prints
/// its progress every tenth of the columns on large matrices.
InHouseLUResult factorizeInHouseLU(int n, const int* rowStart, const int* colIndex, const double* values,
                                   InHouseLUFactors& factors);

/// Solves A x = b with complete factors of an n x n matrix (forward then backward substitution).
/// b and x may be the same array.
void solveInHouseLU(int n, const std::vector<int>& rowStart, const std::vector<int>& colIndex,
                    const std::vector<double>& values, const std::vector<int>& perm, const double* b, double* x);
