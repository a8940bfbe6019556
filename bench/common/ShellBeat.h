// The beat the simulation benchmarks give a shell that has no project of its own.
#pragma once

class TLSMModel;

namespace benchmesh {

/// Helical fibres turning with height, ventricle labels, a phase running from the apex (low y)
/// to the base, the contracting chart with propagation on; then the simulator set-up.
void authorBeat(TLSMModel& model);

}  // namespace benchmesh
