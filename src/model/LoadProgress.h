// LoadProgress: how a long operation of the core (loading a model, building its simulation lattice)
// names the stage it is in and learns that its caller wants it to stop.
#pragma once

/// Stage names a model load reports as it enters them: reading, surface, fields, clusters, fields
/// again (the solved fields), then lattice for a model with a simulation lattice.
namespace loadstage {
constexpr const char* kReading = "reading";
constexpr const char* kSurface = "surface";
constexpr const char* kClusters = "clusters";
constexpr const char* kFields = "fields";
constexpr const char* kLattice = "lattice";
}  // namespace loadstage

/// Passed by the caller (nullptr: no report, no cancel). The operation calls stage() as it begins
/// each part and asks cancelled() between parts (and inside long loops where it can stop cleanly);
/// once cancelled() is true it stops, keeps nothing half-made where the caller could see it and
/// returns false. Both may be called from a worker thread: an implementation that shows the stage
/// in a window hands it to the window's thread itself, and cancelled() must be cheap and
/// thread-safe (an atomic flag).
class LoadProgress {
   public:
    virtual ~LoadProgress() = default;
    /// The operation begins the part called name (one of loadstage's, or another name); the text
    /// is only valid during the call.
    virtual void stage(const char* name) { (void)name; }
    /// True once the caller wants the operation to stop.
    virtual bool cancelled() { return false; }
};
