// ShapeMatchingKernels: the variant for any x86-64, the run-time choice, and the polar rotation of
// one matrix (the same code as the fit's, one lane wide).
#include "model/ShapeMatchingKernels.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

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
const ShapeMatchingKernels* avx2ShapeMatchingKernels() { return &kAvx2ShapeMatchingKernels; }
#else
const ShapeMatchingKernels* avx2ShapeMatchingKernels() { return nullptr; }
#endif

const ShapeMatchingKernels& genericShapeMatchingKernels() { return smk_generic::kKernels; }

const ShapeMatchingKernels& bestShapeMatchingKernels() {
    static const ShapeMatchingKernels* const chosen = [] {
        const char* forced = std::getenv("VELMORA_SIMD");
        const ShapeMatchingKernels* avx2 = avx2ShapeMatchingKernels();
        if (forced && std::strcmp(forced, "generic") == 0) avx2 = nullptr;
        return avx2 && __builtin_cpu_supports("avx2") ? avx2 : &smk_generic::kKernels;
    }();
    return *chosen;
}

bool polarRotation(const Mat3& b, Mat3& frame, Mat3& rot, const PolarSettings& settings) {
    return smk_generic::polarRotationOne(b, frame, rot, settings);
}
