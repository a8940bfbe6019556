// TSmoothField: one interpolated scalar field over the vertices (phase, amplitude or depth).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "fields/Constraints.h"

class TSparseMatrix;
class TCholeskyFactor;

/// The Cholesky factor of a field's last update (smoothing matrix plus the field's penalty terms)
/// and the penalty terms inside it, so that the next update adds and removes the few terms a
/// stroke changed instead of factorising again. A copy starts empty (the factor is not shared).
class TFieldFactorCache {
public:
    /// One penalty term as it enters the matrix: the constraint's corners and weights.
    struct Term {
        std::array<int, 4> vertices;
        std::array<std::uint64_t, 4> weightBits;  // exact weights, comparable even when equal-valued
        bool operator<(const Term& o) const {
            return vertices != o.vertices ? vertices < o.vertices : weightBits < o.weightBits;
        }
        bool operator==(const Term& o) const { return vertices == o.vertices && weightBits == o.weightBits; }
    };

    TFieldFactorCache();
    ~TFieldFactorCache();
    TFieldFactorCache(const TFieldFactorCache&);
    TFieldFactorCache& operator=(const TFieldFactorCache&);
    void clear();

    std::unique_ptr<TCholeskyFactor> m_factor;
    std::uint64_t m_matrixStamp = 0;  // TSparseMatrix::compressStamp of the matrix factorised
    std::vector<Term> m_terms;        // sorted
    /// How the last update was solved: 0 none, 1 full factorisation, 2 update of the kept factor.
    int m_lastUpdateKind = 0;
};

/// Constraints, one value per vertex and the field's range and default. Owned by the heart model
/// (phase, amplitude) or by the orientation field (depth). UI thread only.
struct TSmoothField {
    std::vector<TConstraint> m_constraints;
    std::vector<double> m_value;
    double m_maxValue = 1.0;
    double m_minValue = 0.0;
    double m_defaultValue = 0.0;
    TFieldFactorCache m_factorCache;

    /// Sets the range and default and fills one default value per vertex; constraints are kept.
    void setup(double minValue, double maxValue, double defaultValue, int vertexCount) {
        m_minValue = minValue;
        m_maxValue = maxValue;
        m_defaultValue = defaultValue;
        m_value.assign(static_cast<size_t>(vertexCount), defaultValue);
    }
};

/// Recomputes the field from its constraints: penalty terms (weight 100) added to the smoothing
/// matrix, factorise, solve, clamp, penalties removed again. Without constraints: the default.
/// With the Cholesky back end the factor is kept in the field, and when at most
/// kMaxIncrementalTerms penalty terms were added or removed since the last update of the same
/// matrix, the kept factor is updated and downdated instead of factorising again.
void updateFieldHarmonic(TSmoothField& field, TSparseMatrix& smoothing);

/// Most penalty terms (added plus removed) an update changes through the kept factor; beyond that
/// a new factorisation is cheaper.
constexpr int kMaxIncrementalTerms = 48;

/// Empties the constraints and sets every value to the default.
void resetField(TSmoothField& field);

/// The smoothing matrix L^T L of the uniform Laplacian of the neighbourhoods, compressed.
std::unique_ptr<TSparseMatrix> buildSmoothingMatrix(int vertexCount, const std::vector<vec3>& positions,
                                                    const std::vector<std::vector<int>>& neighbours);

/// A model's smoothing matrix, built on first use: on a research mesh it takes more memory than
/// the simulator and many models never solve a field. Holds either a built matrix or the recipe
/// for one (its size and a builder); reads like the pointer it replaces: true when a matrix is
/// there or can be built, `*slot` builds it when needed. Owned by the heart model; UI thread only.
class TSmoothingMatrixSlot {
public:
    /// The builder runs once, at the first dereference; it must return a vertexCount-square matrix.
    void setRecipe(int vertexCount, std::function<std::unique_ptr<TSparseMatrix>()> builder);
    /// Takes a built matrix (null empties the slot).
    TSmoothingMatrixSlot& operator=(std::unique_ptr<TSparseMatrix> matrix);
    void reset();

    explicit operator bool() const { return m_matrix != nullptr || static_cast<bool>(m_builder); }
    /// The matrix, built first when only its recipe is held; null for an empty slot.
    TSparseMatrix* get() const;
    TSparseMatrix& operator*() const { return *get(); }
    TSparseMatrix* operator->() const { return get(); }
    /// True once the matrix exists (built or handed over).
    bool isBuilt() const { return m_matrix != nullptr; }
    /// Rows of the matrix, known without building it (0 for an empty slot).
    int size() const;

private:
    mutable std::unique_ptr<TSparseMatrix> m_matrix;
    mutable std::function<std::unique_ptr<TSparseMatrix>()> m_builder;
    int m_size = 0;
};

/// updateFieldHarmonic on a slot: a field without constraints takes its default everywhere
/// without the matrix being built; otherwise the slot's matrix is built when needed and used.
/// Nothing happens for an empty slot.
void updateFieldHarmonic(TSmoothField& field, TSmoothingMatrixSlot& smoothing);
