// VolumePreservation: the offset equation of the volume correction, solved in closed form.
#pragma once

/// Solves a3 s^3 + a2 s^2 + a1 s + a0 = 0 for the offset s of the volume correction: the root of
/// least magnitude, with coefficients below 1e-8 treated as absent (cubic by Cardano and the
/// trigonometric form, quadratic, linear). False when there is no usable real root (all of
/// a3, a2, a1 negligible, a negative discriminant, or a discriminant that is not a number); s is
/// then left as it is. A true result may still carry a non-finite s, which callers must check.
bool solveVolumeOffset(double a3, double a2, double a1, double a0, double& s);
