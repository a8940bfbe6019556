// ShapeMatchingKernels: the variant for any x86-64, the run-time choice, and the polar rotation of
// one matrix (the same code as the fit's, one lane wide).
#include "model/ShapeMatchingKernels.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "linalg/SmallAlgebra.h"

namespace smk_generic {
#include "model/ShapeMatchingKernels.inc"

const ShapeMatchingKernels kKernels = {"generic", &fitBlocks, &gatherGoals, &volumeCubicBlocks};

bool polarRotationOne(const Mat3& b, Mat3& frame, Mat3& rot, const PolarSettings& settings) {
    // Lane 0 carries the matrix; the other lanes take no part.
    v4d lanes[9], rotLanes[9];
    BlockMatrices frames{};
    for (int k = 0; k < 9; ++k) {
        lanes[k] = v4d{b[k], 0.0, 0.0, 0.0};
        frames.e[k][0] = frame[k];
    }
    const v4l turning = {-1, 0, 0, 0};
    v4l ok;
    polarRotationLanes(lanes, frames, turning, settings, rotLanes, ok);
    for (int k = 0; k < 9; ++k) {
        rot[k] = rotLanes[k][0];
        frame[k] = frames.e[k][0];
    }
    return ok[0] != 0;
}
}  // namespace smk_generic

#ifdef VELMORA_AVX2_KERNELS
extern const ShapeMatchingKernels kAvx2ShapeMatchingKernels;
extern const ShapeMatchingKernels kFusedShapeMatchingKernels;
const ShapeMatchingKernels* avx2ShapeMatchingKernels() { return &kAvx2ShapeMatchingKernels; }
const ShapeMatchingKernels* fusedShapeMatchingKernels() {
    static const bool usable = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return usable ? &kFusedShapeMatchingKernels : nullptr;
}
#else
const ShapeMatchingKernels* avx2ShapeMatchingKernels() { return nullptr; }
const ShapeMatchingKernels* fusedShapeMatchingKernels() { return nullptr; }
#endif

const ShapeMatchingKernels& genericShapeMatchingKernels() { return smk_generic::kKernels; }

const ShapeMatchingKernels& bestShapeMatchingKernels() {
    static const ShapeMatchingKernels* const chosen = [] {
        const char* forced = std::getenv("VELMORA_SIMD");
        const std::string force = forced ? forced : "";
        const ShapeMatchingKernels* fused =
            force == "generic" || force == "avx2" ? nullptr : fusedShapeMatchingKernels();
        const ShapeMatchingKernels* avx2 = avx2ShapeMatchingKernels();
        if (force == "generic" || !__builtin_cpu_supports("avx2")) avx2 = nullptr;
        return fused ? fused : avx2 ? avx2 : &smk_generic::kKernels;
    }();
    return *chosen;
}

bool polarRotation(const Mat3& b, Mat3& frame, Mat3& rot, const PolarSettings& settings) {
    return smk_generic::polarRotationOne(b, frame, rot, settings);
}
