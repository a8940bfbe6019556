// PyModel: one heart model held for Python: its controller, the authoring state still to be solved,
// and the run of ticks behind Model.simulate.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/DeformationIndices.h"
#include "model/MainWindowManager.h"

/// A model file that cannot be read, or a project file that does not match its mesh.
struct ModelLoadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// The core keeps process-wide state (the diagnostics sink, the solver back end, the main loop's
/// timing report), so one operation on it runs at a time. Taken only with the interpreter lock
/// released, never the other way round, so that a run waiting for the lock cannot block Python;
/// a model's own use (PyModel::acquire) is taken before it.
std::mutex& coreMutex();

/// Silences (false) or restores (true) the core's console lines for the whole process.
void setDiagnosticsEnabled(bool enabled);
bool diagnosticsEnabled();

/// The fields an authoring call changes.
enum class AuthoredField { Phase, Amplitude, Depth };

/// What one run of ticks produced (filled under the core lock, turned into NumPy arrays after).
struct BeatRun {
    int ticks = 0;
    std::vector<std::array<double, 4>> volumes;  ///< per tick: RV, LV, RA, LA
    std::vector<double> times;                   ///< simulated time after each tick (s)
    std::array<double, 4> volumesMin{}, volumesMax{};
    double ejectionFraction = 0.0;  ///< left ventricle, percent
    double maxDisplacement = 0.0;
    bool finite = true;
    double restVolume = 0.0, finalTotalVolume = 0.0;
    std::vector<int> positionTicks;
    std::vector<std::vector<vec3>> positions;
    bool interrupted = false;
    /// The deformation indices per tick (longitudinal, circumferential, radial, apical rotation,
    /// basal rotation, twist), empty when the model cannot be measured (indicesRefusal says why).
    std::vector<std::array<double, 6>> indices;
    std::string indicesRefusal;
    /// End-systole: its tick (0 without indices) and the indices measured there.
    int endSystoleTick = 0;
    DeformationIndexValues endSystole;
};

/// The Python face of one model. Every call that reads or changes the model holds its use
/// (acquire/release) for the length of the access, and coreMutex() too where the core runs; a run
/// of ticks holds the use from start to end, and a call from another thread meanwhile is refused
/// rather than made to wait for the run or shown a half-computed tick.
class PyModel {
   public:
    /// Loads base (no extension) the way the application and `velmora-cli simulate` do.
    /// Throws ModelLoadError with the reader's message; damagedWarning receives the message of
    /// a project file that was read only up to a damaged record (empty otherwise).
    PyModel(const std::string& base, std::string& damagedWarning);

    TLSMModel& model() { return *m_controller->model(); }
    const TLSMModel& model() const { return *m_controller->model(); }
    MainWindowManager& controller() { return *m_controller; }
    const std::string& basePath() const { return m_base; }
    /// Vertex count, fixed at load (read without the model's use).
    int vertexCount() const { return m_vertexCount; }

    /// What a thread takes the model for: one call, or a whole run of ticks.
    enum class Use { Call, Run };
    /// Takes the model for this thread, with the interpreter lock released; waits only for another
    /// call to end. False, with nothing taken, when a run holds the model or has claimed it (a
    /// run claims it at once and waits for the call in progress, so later calls see it).
    bool acquire(Use use);
    /// Gives back what acquire(use) took.
    void release(Use use);
    /// True from the moment a run claims the model until it has ended.
    bool simulating() const { return m_running.load(); }

    /// Solves what the authoring calls left pending (all fields when everything is set), then sets
    /// the simulator up again from the frames. Returns true when anything was recomputed.
    bool updateFields(bool everything);
    bool pending() const {
        return m_phasePending || m_amplitudePending || m_depthPending || m_orientationPending || m_simulatorPending;
    }
    /// Solves one field now if its constraints changed (before values are painted onto it).
    void solveIfPending(AuthoredField field);
    /// The fibre frames are fitted again to the strokes and the current depth values.
    void markOrientationPending() { m_orientationPending = true; }
    void markPending(AuthoredField field);
    void markSimulatorPending() { m_simulatorPending = true; }
    void clearPending(AuthoredField field);

    /// ticks >= 1; threads 0 keeps the current OpenMP setting; recordEvery 0 records no positions.
    /// keepGoing is asked after every tick (a false stops the run: interrupted).
    /// A reset puts the heart back at rest and the time at 0 first (nothing to do on a model that
    /// has not beaten since it was loaded); without it the run continues where the last one ended.
    void run(int ticks, int threads, int recordEvery, bool reset, BeatRun& out, const std::function<bool()>& keepGoing);
    /// The start of run() for ticks the caller drives with controller().onTimer() (a picture after
    /// a number of ticks, a movie): pending fields solved, the reset, the main loop started.
    /// stopTicks() ends it.
    void startTicks(bool reset);
    void stopTicks();

    /// The deformation indices set up for the model as it stands (prepared again when its rest
    /// state, labels or walls changed since the last call); check ready() before measuring.
    DeformationIndices& deformationIndices();

   private:
    std::unique_ptr<MainWindowManager> m_controller;
    std::string m_base;
    int m_vertexCount = 0;
    bool m_simulated = false;
    std::mutex m_useMutex;  ///< guards m_inUse and the claim of m_running; held only briefly
    std::condition_variable m_useEnded;
    bool m_inUse = false;
    std::atomic<bool> m_running{false};
    bool m_phasePending = false, m_amplitudePending = false, m_depthPending = false;
    bool m_orientationPending = false, m_simulatorPending = false;
    DeformationIndices m_indices;
};
