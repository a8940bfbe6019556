// ShapeMatchingKernels compiled for AVX2 with fused multiply-add: the kernels' fmadd steps are one
// instruction each, rounded once. Nothing here runs unless the processor has both: the table below
// is constant data, and the generic translation unit checks the processor before handing it out.
#include <cmath>

#include "linalg/SmallAlgebra.h"
#include "model/ShapeMatchingKernels.h"

#define VELMORA_FUSED_KERNELS 1
namespace smk_fma {
#include "model/ShapeMatchingKernels.inc"
}  // namespace smk_fma

extern const ShapeMatchingKernels kFusedShapeMatchingKernels = {"avx2-fma", &smk_fma::fitBlocks, &smk_fma::gatherGoals,
                                                                &smk_fma::volumeCubicBlocks};
