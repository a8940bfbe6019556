// PyIndices: Model.deformation_indices and the dictionaries of the indices.
#include "PyIndices.h"

#include <pybind11/numpy.h>

#include <optional>

#include "ArrayConversion.h"
#include "ModelScope.h"

namespace py = pybind11;
using namespace pyconvert;
using namespace pyscope;

py::dict deformationIndicesDict(const DeformationIndexValues& values) {
    py::dict d;
    d["longitudinal"] = values.longitudinal;
    d["circumferential"] = values.circumferential;
    d["radial"] = values.radial;
    d["apical_rotation"] = values.apicalRotation;
    d["basal_rotation"] = values.basalRotation;
    d["twist"] = values.twist;
    py::list segments;
    if (values.segmentsAvailable) {
        for (int s = 1; s <= DeformationIndices::kSegmentCount; ++s) {
            const SegmentStrains& segment = values.segments[s - 1];
            py::dict entry;
            entry["segment"] = s;
            entry["name"] = DeformationIndices::segmentName(s);
            // A segment without tetrahedra has no mean: None rather than a made-up 0.
            const bool filled = segment.tetrahedra > 0;
            entry["longitudinal"] = filled ? py::object(py::float_(segment.longitudinal)) : py::none();
            entry["circumferential"] = filled ? py::object(py::float_(segment.circumferential)) : py::none();
            entry["radial"] = filled ? py::object(py::float_(segment.radial)) : py::none();
            entry["tetrahedra"] = segment.tetrahedra;
            segments.append(entry);
        }
    }
    d["segments"] = segments;
    return d;
}

void bindDeformationIndices(py::class_<PyModel>& model) {
    model.def(
        "deformation_indices",
        [](PyModel& self, const py::object& positionsArg) {
            checkIdle(self);
            std::optional<std::vector<vec3>> positions;
            if (!positionsArg.is_none()) {
                auto a = floatArray(positionsArg, "positions", {self.vertexCount(), 3});
                const double* p = a.data();
                positions.emplace(static_cast<size_t>(self.vertexCount()));
                for (vec3& q : *positions) {
                    q = vec3(p[0], p[1], p[2]);
                    p += 3;
                }
            }
            DeformationIndexValues values;
            int tetrahedra = 0;
            std::string refusal;
            {
                // The set-up may run the first time (or after the walls changed): the core's lock too.
                ModelScope scope(self);
                DeformationIndices& indices = self.deformationIndices();
                if (!indices.ready()) {
                    refusal = indices.refusal();
                } else {
                    indices.measure(positions ? *positions : self.model().m_vtxOrigPos, values);
                    tetrahedra = indices.myocardiumTetrahedra();
                }
            }
            if (!refusal.empty()) throw py::value_error(refusal);
            py::dict d = deformationIndicesDict(values);
            d["myocardium_tetrahedra"] = tetrahedra;
            return d;
        },
        py::arg("positions") = py::none(),
        R"doc(The clinical deformation indices of the left ventricle, as `velmora-cli indices --json` gives them.

positions: (N, 3) positions of a deformed state in the model's coordinates (those of positions and
rest_positions); None measures the rest state (all zeros). The reference is the rest state.
Returns a dict: longitudinal, circumferential, radial (global strains, percent), apical_rotation,
basal_rotation, twist (degrees, positive counterclockwise seen from the apex), segments (the 17 AHA
segments as dicts with segment, name, longitudinal, circumferential, radial and tetrahedra; the
strains None for a segment without tetrahedra; an empty list without a right-ventricular wall) and
myocardium_tetrahedra. Raises ValueError with the reason when the model cannot be measured (no
left-ventricular wall painted, or no base, axis or myocardium found) or positions has another shape
or a value that is not finite.)doc");
}
