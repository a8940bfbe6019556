// ShapeMatchingKernels compiled for AVX2 (four clusters per instruction). Nothing here runs unless
// the processor has AVX2: the table below is constant data, and the generic translation unit checks
// the processor before handing it out. Nothing is fused, so the results equal the generic
// variant's.
#include <cmath>

#include "linalg/SmallAlgebra.h"
#include "model/ShapeMatchingKernels.h"

namespace smk_avx2 {
#include "model/ShapeMatchingKernels.inc"
}  // namespace smk_avx2

extern const ShapeMatchingKernels kAvx2ShapeMatchingKernels = {"avx2", &smk_avx2::fitBlocks, &smk_avx2::gatherGoals,
                                                               &smk_avx2::volumeCubicBlocks};
