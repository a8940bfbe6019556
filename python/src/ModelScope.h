// ModelScope: how a binding holds a model and the core while it runs (the interpreter lock
// released first, taken back last), shared by the files that bind the model's calls.
#pragma once

#include <pybind11/pybind11.h>

#include <mutex>
#include <optional>
#include <stdexcept>

#include "PyModel.h"

namespace pyscope {

/// Releases the interpreter lock, then takes the core's lock (never the other order); for the
/// calls that have no model yet.
struct CoreScope {
    pybind11::gil_scoped_release release;
    std::lock_guard<std::mutex> lock{coreMutex()};
};

[[noreturn]] inline void refuseWhileSimulating() {
    throw std::runtime_error("the model is simulating in another thread; wait for simulate() to return");
}

/// Refuses at once, before any argument is converted, while a run holds the model.
inline void checkIdle(const PyModel& self) {
    if (self.simulating()) refuseWhileSimulating();
}

/// One call's hold on a model: the interpreter lock released, then the model's use, then the
/// core's lock when the call runs core code (solves, set-up, writing); given back in the reverse
/// order. Raises RuntimeError, with nothing held, while a run of ticks holds the model.
class ModelScope {
   public:
    enum class Core { Skip, Take };
    explicit ModelScope(PyModel& model, Core core = Core::Take, PyModel::Use use = PyModel::Use::Call)
        : m_model(model), m_use(use) {
        if (!model.acquire(use)) refuseWhileSimulating();
        if (core == Core::Take) m_core = std::unique_lock<std::mutex>(coreMutex());
    }
    ~ModelScope() {
        if (m_core.owns_lock()) m_core.unlock();
        m_model.release(m_use);
    }
    ModelScope(const ModelScope&) = delete;
    ModelScope& operator=(const ModelScope&) = delete;

   private:
    pybind11::gil_scoped_release m_release;  // first in, last out: the interpreter lock comes back last
    PyModel& m_model;
    PyModel::Use m_use;
    std::unique_lock<std::mutex> m_core;
};

/// What read() returns, computed under the model's use (a copy, turned into Python objects after).
template <class Read>
auto readModel(PyModel& self, Read read) -> decltype(read()) {
    checkIdle(self);
    std::optional<decltype(read())> value;
    {
        ModelScope scope(self, ModelScope::Core::Skip);
        value.emplace(read());
    }
    return std::move(*value);
}

}  // namespace pyscope
