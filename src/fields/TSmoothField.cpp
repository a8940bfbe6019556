// TSmoothField: least-squares harmonic interpolation of a scalar field from penalty constraints.
#include "fields/TSmoothField.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "fields/FieldSupport.h"
#include "linalg/CholeskyFactor.h"
#include "linalg/Diagnostics.h"
#include "linalg/TSparseMatrix.h"

namespace {

// Weight of each constraint's squared error against the smoothness term |L x|^2.
constexpr double kPenaltyWeight = 100.0;

const char* const kNotSquare = "error row size is not equal to col size\n";

// Adds (sign = +1) or removes (sign = -1) the penalty block w w^T of every usable constraint.
void applyPenalties(const std::vector<TConstraint>& constraints, const std::vector<char>& usable, TSparseMatrix& matrix,
                    double sign) {
    for (size_t c = 0; c < constraints.size(); ++c) {
        if (!usable[c]) continue;
        const TConstraint& con = constraints[c];
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < 4; ++k) {
                matrix.addToEntry(con.m_tetVertex[j], con.m_tetVertex[k],
                                  sign * kPenaltyWeight * con.m_weight[j] * con.m_weight[k]);
            }
        }
    }
}

void storeClampedValues(TSmoothField& field, const std::vector<double>& x, int n) {
    field.m_value.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        double value = x[i];
        // A failed solve must not hand not-a-number to the simulator.
        if (!std::isfinite(value)) value = field.m_defaultValue;
        if (value < field.m_minValue) value = field.m_minValue;
        if (value > field.m_maxValue) value = field.m_maxValue;
        field.m_value[i] = value;
    }
}

TFieldFactorCache::Term termOf(const TConstraint& con) {
    TFieldFactorCache::Term t{};
    for (int k = 0; k < 4; ++k) {
        t.vertices[k] = con.m_tetVertex[k];
        std::memcpy(&t.weightBits[k], &con.m_weight[k], sizeof(double));
    }
    return t;
}

// The penalty block w w^T of a term as c c^T: corners named twice have their weights summed.
TRankOneTerm rankOneOf(const TFieldFactorCache::Term& t) {
    TRankOneTerm r;
    const double scale = std::sqrt(kPenaltyWeight);
    for (int k = 0; k < 4; ++k) {
        double w;
        std::memcpy(&w, &t.weightBits[k], sizeof(double));
        auto found = std::find(r.rows.begin(), r.rows.end(), t.vertices[k]);
        if (found != r.rows.end()) {
            r.values[static_cast<size_t>(found - r.rows.begin())] += scale * w;
        } else {
            r.rows.push_back(t.vertices[k]);
            r.values.push_back(scale * w);
        }
    }
    return r;
}

// Brings the field's kept factor to the given terms by rank-one updates and downdates; false when
// there is no usable factor for this matrix, too many terms changed or the update failed.
bool updateKeptFactor(TFieldFactorCache& cache, const TSparseMatrix& smoothing,
                      const std::vector<TFieldFactorCache::Term>& terms) {
    if (cache.m_factor == nullptr || !cache.m_factor->isValid() || cache.m_matrixStamp != smoothing.compressStamp() ||
        cache.m_factor->size() != smoothing.colSize()) {
        return false;
    }
    const fieldsupport::FactorUpdate outcome = fieldsupport::updateFactorTerms(
        *cache.m_factor, cache.m_terms, terms, static_cast<size_t>(kMaxIncrementalTerms), rankOneOf);
    if (outcome == fieldsupport::FactorUpdate::TooManyChanges) return false;
    if (outcome == fieldsupport::FactorUpdate::Failed) {
        cache.clear();
        return false;
    }
    cache.m_terms = terms;
    return true;
}

}  // namespace

TFieldFactorCache::TFieldFactorCache() = default;
TFieldFactorCache::~TFieldFactorCache() = default;
TFieldFactorCache::TFieldFactorCache(const TFieldFactorCache&) {}
TFieldFactorCache& TFieldFactorCache::operator=(const TFieldFactorCache& other) {
    if (this != &other) clear();
    return *this;
}

void TFieldFactorCache::clear() {
    m_factor.reset();
    m_matrixStamp = 0;
    m_terms.clear();
    m_lastUpdateKind = 0;
}

void updateFieldHarmonic(TSmoothField& field, TSparseMatrix& smoothing) {
    const int n = smoothing.colSize();
    if (field.m_constraints.empty()) {
        field.m_value.assign(static_cast<size_t>(n), field.m_defaultValue);
        return;
    }

    // Constraints naming vertices the matrix does not have would write outside b; they are left
    // out (a project file written for another mesh can carry them).
    std::vector<char> usable(field.m_constraints.size(), 1);
    int skipped = 0;
    for (size_t c = 0; c < field.m_constraints.size(); ++c) {
        if (!fieldsupport::constraintFits(field.m_constraints[c], static_cast<size_t>(n))) {
            usable[c] = 0;
            ++skipped;
        }
    }
    if (skipped > 0) {
        diagPrintf("updateFieldHarmonic: %d constraints outside the %d vertices skipped\n", skipped, n);
    }

    std::vector<double> b(static_cast<size_t>(n), 0.0), x(static_cast<size_t>(n), 0.0);
    for (size_t c = 0; c < field.m_constraints.size(); ++c) {
        if (!usable[c]) continue;
        const TConstraint& con = field.m_constraints[c];
        for (int k = 0; k < 4; ++k) {
            b[con.m_tetVertex[k]] += kPenaltyWeight * con.m_target * con.m_weight[k];
        }
    }
    TFieldFactorCache& cache = field.m_factorCache;
    const bool cholesky = activeSolverBackend() == SolverBackend::Cholmod;
    std::vector<TFieldFactorCache::Term> terms;
    if (cholesky) {
        for (size_t c = 0; c < field.m_constraints.size(); ++c) {
            if (usable[c]) terms.push_back(termOf(field.m_constraints[c]));
        }
        std::sort(terms.begin(), terms.end());
    } else {
        cache.clear();
    }
    if (cholesky && updateKeptFactor(cache, smoothing, terms) && cache.m_factor->solve(b.data(), x.data())) {
        cache.m_lastUpdateKind = 2;
        storeClampedValues(field, x, n);
        return;
    }

    applyPenalties(field.m_constraints, usable, smoothing, +1.0);

    const bool square = smoothing.rowSize() == smoothing.colSize();
    if (square) {
        smoothing.factorize();
    } else {
        diagPrintf("%s", kNotSquare);
    }
    if (square) {
        smoothing.solve(b.data(), x.data());
    } else {
        diagPrintf("%s", kNotSquare);
    }
    cache.clear();
    if (cholesky) {
        cache.m_factor = smoothing.releaseCholeskyFactor();
        cache.m_matrixStamp = smoothing.compressStamp();
        cache.m_terms = std::move(terms);
    }
    cache.m_lastUpdateKind = 1;
    smoothing.freeFactorization();

    storeClampedValues(field, x, n);

    applyPenalties(field.m_constraints, usable, smoothing, -1.0);
}

void resetField(TSmoothField& field) {
    field.m_constraints.clear();
    for (double& v : field.m_value) v = field.m_defaultValue;
}

std::unique_ptr<TSparseMatrix> buildSmoothingMatrix(int vertexCount, const std::vector<vec3>& positions,
                                                    const std::vector<std::vector<int>>& neighbours) {
    auto laplacian = std::make_unique<TSparseMatrix>(vertexCount, vertexCount);
    auto gram = std::make_unique<TSparseMatrix>(vertexCount, vertexCount);
    laplacian->setUniformLaplacian(positions, neighbours);
    const int entries = laplacian->calcGramMatrix(*gram);
    gram->compress(entries);
    return gram;
}

void TSmoothingMatrixSlot::setRecipe(int vertexCount, std::function<std::unique_ptr<TSparseMatrix>()> builder) {
    m_matrix.reset();
    m_builder = std::move(builder);
    m_size = vertexCount;
}

TSmoothingMatrixSlot& TSmoothingMatrixSlot::operator=(std::unique_ptr<TSparseMatrix> matrix) {
    m_builder = nullptr;
    m_matrix = std::move(matrix);
    m_size = m_matrix ? m_matrix->colSize() : 0;
    return *this;
}

void TSmoothingMatrixSlot::reset() { *this = nullptr; }

TSparseMatrix* TSmoothingMatrixSlot::get() const {
    if (!m_matrix && m_builder) {
        m_matrix = m_builder();
        m_builder = nullptr;
    }
    return m_matrix.get();
}

int TSmoothingMatrixSlot::size() const { return m_matrix ? m_matrix->colSize() : m_size; }

void updateFieldHarmonic(TSmoothField& field, TSmoothingMatrixSlot& smoothing) {
    if (!smoothing) return;
    if (field.m_constraints.empty() && !smoothing.isBuilt()) {
        field.m_value.assign(static_cast<size_t>(smoothing.size()), field.m_defaultValue);
        return;
    }
    updateFieldHarmonic(field, *smoothing);
}
