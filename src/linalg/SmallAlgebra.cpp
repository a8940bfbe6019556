// Small dense tools: conjugate gradients, 3x3 algebra, rotations and the Jacobi eigen-decomposition.
#include "linalg/SmallAlgebra.h"

#include <algorithm>
#include <cmath>

#include "linalg/Diagnostics.h"

namespace {

// Systems below this size are multiplied on one thread.
constexpr int kParallelCGRows = 256;
// The iteration stops once the squared residual norm is at most this (an absolute bound).
constexpr double kCGSquaredResidual = 1e-9;
// The residual is recomputed from scratch every this many iterations to shed accumulated drift.
constexpr int kCGResidualRefresh = 30;

double dotN(int n, const double* a, const double* b) {
    double s = 0.0;
    for (int i = 0; i < n; ++i) s += a[i] * b[i];
    return s;
}

void multiply(int n, const std::vector<std::vector<double>>& rows, const double* v, double* out) {
#pragma omp parallel for schedule(static) if (n > kParallelCGRows)
    for (int i = 0; i < n; ++i) out[i] = dotN(n, rows[i].data(), v);
}

void residual(int n, const std::vector<std::vector<double>>& rows, const double* b, const double* x, double* r) {
#pragma omp parallel for schedule(static) if (n > kParallelCGRows)
    for (int i = 0; i < n; ++i) r[i] = b[i] - dotN(n, rows[i].data(), x);
}

// out = a * b for row-major 3x3 matrices.
void mul3(const double a[9], const double b[9], double out[9]) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) out[3 * r + c] = a[3 * r] * b[c] + a[3 * r + 1] * b[3 + c] + a[3 * r + 2] * b[6 + c];
    }
}

// out = a * b^T.
void mulTransposed3(const double a[9], const double b[9], double out[9]) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            out[3 * r + c] = a[3 * r] * b[3 * c] + a[3 * r + 1] * b[3 * c + 1] + a[3 * r + 2] * b[3 * c + 2];
        }
    }
}

}  // namespace

void solveCG(int n, const std::vector<std::vector<double>>& rows, const double* b, double* x) {
    if (n <= 0) return;
    std::fill(x, x + n, 0.0);
    bool shaped = static_cast<int>(rows.size()) >= n;
    for (int i = 0; shaped && i < n; ++i) shaped = static_cast<int>(rows[i].size()) >= n;
    if (!shaped) {
        diagPrintf("solveCG: the matrix has fewer than %d rows or columns\n", n);
        return;
    }

    std::vector<double> r(n), p(n), q(n);
    residual(n, rows, b, x, r.data());
    p = r;
    double rho = dotN(n, r.data(), r.data());
    int k = 0;
    while (rho > kCGSquaredResidual) {
        multiply(n, rows, p.data(), q.data());
        const double pq = dotN(n, p.data(), q.data());
        const double alpha = rho / pq;
        if (pq == 0.0 || !std::isfinite(alpha)) {
            // An indefinite or singular system can make p.Ap vanish; going on would fill x with
            // infinities. Keep the last finite iterate.
            diagPrintf("solveCG: breakdown at iteration %d (p.Ap = %g), stopped\n", k, pq);
            break;
        }
        for (int i = 0; i < n; ++i) x[i] += alpha * p[i];
        if (k % kCGResidualRefresh == 0) {
            residual(n, rows, b, x, r.data());
        } else {
            for (int i = 0; i < n; ++i) r[i] -= alpha * q[i];
        }
        const double rhoNext = dotN(n, r.data(), r.data());
        const double beta = rhoNext / rho;
        for (int i = 0; i < n; ++i) p[i] = beta * p[i] + r[i];
        ++k;
        if (k >= n) break;
        rho = rhoNext;
    }
}

bool makeUnit(vec3& v) {
    const double len = v.norm();
    if (len == 0.0) return false;
    v /= len;
    return true;
}

bool invert3x3(double m[9]) {
    const double det = m[0] * m[4] * m[8] + m[1] * m[5] * m[6] + m[2] * m[3] * m[7] - m[2] * m[4] * m[6] -
                       m[1] * m[3] * m[8] - m[0] * m[5] * m[7];
    if (!(std::fabs(det) >= 1e-7)) return false;
    const double adjugate[9] = {
        m[4] * m[8] - m[5] * m[7], m[2] * m[7] - m[1] * m[8], m[1] * m[5] - m[2] * m[4],
        m[5] * m[6] - m[3] * m[8], m[0] * m[8] - m[2] * m[6], m[2] * m[3] - m[0] * m[5],
        m[3] * m[7] - m[4] * m[6], m[1] * m[6] - m[0] * m[7], m[0] * m[4] - m[1] * m[3],
    };
    for (int i = 0; i < 9; ++i) m[i] = adjugate[i] / det;
    return true;
}

bool setRotation(double m[16], const vec3& axis, double cosTheta, double sinTheta) {
    std::fill(m, m + 16, 0.0);
    m[0] = m[5] = m[10] = m[15] = 1.0;
    if (cosTheta == 1.0 && sinTheta == 0.0) return true;
    vec3 u = axis;
    if (!makeUnit(u)) return false;
    const double c = cosTheta, s = sinTheta, t = 1.0 - c;
    // Rodrigues: R v = c v + s (u x v) + (1 - c)(u . v) u; element (row, col) goes to m[4 col + row].
    const double r[3][3] = {
        {c + t * u.x * u.x, t * u.x * u.y - s * u.z, t * u.x * u.z + s * u.y},
        {t * u.y * u.x + s * u.z, c + t * u.y * u.y, t * u.y * u.z - s * u.x},
        {t * u.z * u.x - s * u.y, t * u.z * u.y + s * u.x, c + t * u.z * u.z},
    };
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) m[4 * col + row] = r[row][col];
    }
    return true;
}

double distanceToLine(const vec3& x, const vec3& q, const vec3& d) {
    const double dd = d.dot(d);
    // A degenerate line is its point; dividing by 0 would give not-a-number.
    if (dd == 0.0) return (x - q).norm();
    const double t = (x - q).dot(d) / dd;
    return (q + t * d - x).norm();
}

int jacobiEigen3(double C[9], double V[9], double tolerance, int maxRotations) {
    double tmp[9];
    mul3(V, C, tmp);
    mulTransposed3(tmp, V, C);  // warm start: C := V C V^T

    // Off-diagonal candidates in the order that breaks ties.
    static const int kPairs[3][2] = {{1, 0}, {2, 0}, {2, 1}};
    int rotations = 0;
    while (rotations < maxRotations) {
        int best = 0;
        double largest = std::fabs(C[3 * 1 + 0]);
        for (int i = 1; i < 3; ++i) {
            const double v = std::fabs(C[3 * kPairs[i][0] + kPairs[i][1]]);
            if (v > largest) {
                largest = v;
                best = i;
            }
        }
        if (!(largest > tolerance)) break;
        const int p = kPairs[best][0], q = kPairs[best][1];
        const double cpp = C[4 * p], cqq = C[4 * q], cpq = C[3 * p + q];
        const double theta =
            std::fabs(cpp - cqq) > 1e-6 ? 0.5 * std::atan(-2.0 * cpq / (cpp - cqq)) : 0.7853981633974475;
        const double c = std::cos(theta), s = std::sin(theta);
        // G: rows p and q become c e_p - s e_q and s e_p + c e_q, which zeroes C_pq for this angle.
        double g[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        g[4 * p] = c;
        g[3 * p + q] = -s;
        g[3 * q + p] = s;
        g[4 * q] = c;
        mul3(g, C, tmp);
        mulTransposed3(tmp, g, C);
        for (int i = 0; i < 3; ++i) {  // keep C exactly symmetric
            for (int j = 0; j < i; ++j) C[3 * j + i] = C[3 * i + j];
        }
        for (int col = 0; col < 3; ++col) {
            const double vp = V[3 * p + col], vq = V[3 * q + col];
            V[3 * p + col] = c * vp - s * vq;
            V[3 * q + col] = s * vp + c * vq;
        }
        ++rotations;
    }
    return rotations;
}
