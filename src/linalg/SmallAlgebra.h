// Small dense tools: conjugate gradients, 3x3 algebra, rotations and the Jacobi eigen-decomposition.
#pragma once

#include <vector>

#include "linalg/vec3.h"

/// Conjugate gradients on a dense n x n system given as rows; x (n doubles) receives the solution.
void solveCG(int n, const std::vector<std::vector<double>>& rows, const double* b, double* x);

/// Normalises v in place; false (v unchanged) when its length is 0.
bool makeUnit(vec3& v);

/// Inverts a 3x3 row-major matrix in place; false (unchanged) when |det| < 1e-7.
bool invert3x3(double m[9]);

/// Writes the rotation about axis (cos, sin given) into a column-major 4x4 matrix.
/// False (identity written) when the axis has length 0 and the angle is not zero.
bool setRotation(double m[16], const vec3& axis, double cosTheta, double sinTheta);

/// Distance from point x to the infinite line through q along d.
double distanceToLine(const vec3& x, const vec3& q, const vec3& d);

/// Jacobi eigen-decomposition of the symmetric row-major 3x3 matrix C, warm-started from the
/// eigenvector estimates in the rows of V (updated in place). On return C holds the rotated matrix
/// (eigenvalues on its diagonal). Stops when the largest off-diagonal magnitude <= tolerance or after
/// maxRotations rotations; returns the number of rotations applied.
int jacobiEigen3(double C[9], double V[9], double tolerance, int maxRotations);
