// ImportedFrames: frames completed from imported fibres and sheets, written to the project file.
#include "meshimport/ImportedFrames.h"

#include <cmath>
#include <filesystem>

#include "io/ProjectRecord.h"

namespace {

constexpr double kTinyLength = 1e-9;

/// v without its part along the unit vector fibre, normalised; false when nothing is left.
bool orthogonalUnit(vec3 v, const vec3& fibre, vec3& out) {
    if (!isFinite(v)) return false;
    v -= fibre * fibre.dot(v);
    const double length = v.norm();
    if (!(length > kTinyLength)) return false;
    out = v / length;
    return true;
}

}  // namespace

std::vector<std::array<vec3, 3>> framesFromImportedDirections(const std::vector<vec3>& points,
                                                              const std::vector<vec3>& fibres,
                                                              const std::vector<vec3>& sheets) {
    const std::array<vec3, 3> identity = {vec3(1, 0, 0), vec3(0, 1, 0), vec3(0, 0, 1)};
    std::vector<std::array<vec3, 3>> frames(fibres.size(), identity);
    vec3 centroid;
    for (const vec3& p : points) centroid += p;
    if (!points.empty()) centroid /= static_cast<double>(points.size());
    const bool withSheets = sheets.size() == fibres.size();
    for (size_t i = 0; i < fibres.size(); ++i) {
        vec3 fibre = fibres[i];
        const double length = isFinite(fibre) ? fibre.norm() : 0.0;
        if (!(length > kTinyLength)) continue;
        fibre /= length;
        vec3 depth;
        bool found = withSheets && orthogonalUnit(sheets[i], fibre, depth);
        if (!found && i < points.size()) found = orthogonalUnit(points[i] - centroid, fibre, depth);
        if (!found) {
            // The axis least along the fibre cannot be parallel to it.
            int axis = 0;
            for (int a = 1; a < 3; ++a)
                if (std::fabs(fibre[a]) < std::fabs(fibre[axis])) axis = a;
            orthogonalUnit(identity[static_cast<size_t>(axis)], fibre, depth);
        }
        vec3 third = fibre.cross(depth);
        third /= third.norm();
        frames[i] = {fibre, depth, third};
    }
    return frames;
}

bool putFramesInProject(const std::string& base, const std::vector<std::array<vec3, 3>>& frames, std::string& error) {
    const std::string path = base + ".vm";
    ProjectRecord record;
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        if (!readProjectFile(path, record, error)) return false;
        if (!record.endMarkerFound) {
            error = path + " was not read completely (" + record.damage + "); the imported fibres were not put in it";
            return false;
        }
        for (auto it = record.entries.begin(); it != record.entries.end();)
            it = it->key == ProjectKey::VtxFrames ? record.entries.erase(it) : it + 1;
    } else {
        record.endMarkerFound = true;
    }
    ProjectEntry entry;
    entry.key = ProjectKey::VtxFrames;
    entry.frames = frames;
    record.entries.push_back(std::move(entry));
    return writeProjectFile(path, record, error);
}
