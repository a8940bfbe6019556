// VTK XML unstructured-grid export of the model state per tick, with a .pvd time collection.
#pragma once

#include <string>
#include <utility>
#include <vector>

class TLSMModel;

/// Writes one .vtu per call into a directory and the .pvd collection at the end.
class VtkSeriesWriter {
public:
    /// False (with a message on stderr) when the directory cannot be created.
    bool open(const std::string& directory);
    /// Writes the model's tetrahedra at their current positions with the point data of
    /// writeModelVtu (fields, labels, fibre frame, the transmural coordinate when the model has
    /// chamber walls) and the contraction factors as step `tick` at `time`. False on a write error.
    bool writeStep(const TLSMModel& model, int tick, double time);
    /// Writes the collection file listing every step with its time. False on a write error.
    bool close();

private:
    std::string m_dir;
    std::vector<std::pair<double, std::string>> m_steps;
    std::vector<double> m_transmural;  ///< empty when the model has no chamber walls
    bool m_transmuralTried = false;
};
