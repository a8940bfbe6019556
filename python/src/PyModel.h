// PyModel: one heart model held for Python: its controller, the authoring state still to be solved,
// and the run of ticks behind Model.simulate.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/MainWindowManager.h"

/// A model file that cannot be read, or a project file that does not match its mesh.
struct ModelLoadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// The core keeps process-wide state (the diagnostics sink, the solver back end, the main loop's
/// timing report), so one operation on it runs at a time. Taken only with the interpreter lock
/// released, never the other way round, so that a run waiting for the lock cannot block Python.
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
};

/// The Python face of one model. Not thread-safe by itself: every call takes coreMutex().
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
    /// True while a run of ticks is under way (read and written with the interpreter lock held).
    bool busy() const { return m_busy; }
    void setBusy(bool busy) { m_busy = busy; }

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

private:
    std::unique_ptr<MainWindowManager> m_controller;
    std::string m_base;
    bool m_simulated = false;
    bool m_busy = false;
    bool m_phasePending = false, m_amplitudePending = false, m_depthPending = false;
    bool m_orientationPending = false, m_simulatorPending = false;
};
