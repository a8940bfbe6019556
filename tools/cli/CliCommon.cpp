// velmora-cli helpers: argument parsing, base paths and model summaries.
#include "CliCommon.h"

#include <algorithm>
#include <cstdio>

#include "model/TLSMModel.h"

bool CliArgs::has(const std::string& name) const {
    return std::any_of(options.begin(), options.end(), [&](const auto& o) { return o.first == name; });
}

std::string CliArgs::value(const std::string& name, const std::string& fallback) const {
    for (const auto& o : options)
        if (o.first == name) return o.second;
    return fallback;
}

bool parseCliArgs(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
                  const std::vector<std::string>& flagOptions, CliArgs& out) {
    auto listed = [](const std::vector<std::string>& list, const std::string& s) {
        return std::find(list.begin(), list.end(), s) != list.end();
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            std::string name = a.substr(2), value;
            const size_t eq = name.find('=');
            if (eq != std::string::npos) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
            }
            if (listed(valueOptions, name)) {
                if (eq == std::string::npos) {
                    if (i + 1 >= args.size()) {
                        std::fprintf(stderr, "velmora-cli: option --%s needs a value\n", name.c_str());
                        return false;
                    }
                    value = args[++i];
                }
            } else if (!listed(flagOptions, name)) {
                std::fprintf(stderr, "velmora-cli: unknown option --%s\n", name.c_str());
                return false;
            }
            out.options.emplace_back(name, value);
        } else {
            out.positional.push_back(a);
        }
    }
    return true;
}

std::string basePathOf(const std::string& path) {
    for (const char* ext : {".node", ".ele", ".vm"}) {
        const std::string e(ext);
        if (path.size() > e.size() && path.compare(path.size() - e.size(), e.size(), e) == 0)
            return path.substr(0, path.size() - e.size());
    }
    return path;
}

nlohmann::json modelSummary(const TLSMModel& model) {
    nlohmann::json j;
    int boundaryFaces = 0;
    for (const Tetra& t : model.m_tets)
        for (int k = 0; k < 4; ++k)
            if (t.nbr[k] == -1) ++boundaryFaces;
    vec3 lo, hi;
    if (!model.m_verts.empty()) lo = hi = model.m_verts[0];
    for (const vec3& p : model.m_verts)
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], p[a]);
            hi[a] = std::max(hi[a], p[a]);
        }
    j["vertices"] = model.vertexCount();
    j["tetrahedra"] = static_cast<int>(model.m_tets.size());
    j["boundary_faces"] = boundaryFaces;
    j["surface_vertices"] = model.m_surface.vertexCount();
    j["surface_triangles"] = model.m_surface.polyCount();
    j["surface_valid"] = model.m_surface.isValid() == 1;
    j["bbox_min"] = {lo.x, lo.y, lo.z};
    j["bbox_max"] = {hi.x, hi.y, hi.z};

    // Inverted tetrahedra count zero, as in the simulator's rest volume (and in simulate's).
    double restVolume6 = 0.0;
    const std::vector<vec3>& rest = model.m_vtxOrigPos;
    for (const Tetra& t : model.m_tets)
        restVolume6 += std::max(0.0, signedVolume6(rest[t.vIdx[0]], rest[t.vIdx[1]], rest[t.vIdx[2]], rest[t.vIdx[3]]));
    j["rest_volume"] = restVolume6 / 6.0;
    const auto status = model.m_projectLoad.status;
    j["has_project"] = status == ProjectLoadResult::Status::Loaded || status == ProjectLoadResult::Status::Damaged;
    j["chambers"] = {{"VR", model.m_trisVR.size()},
                     {"VL", model.m_trisVL.size()},
                     {"AR", model.m_trisAR.size()},
                     {"AL", model.m_trisAL.size()}};
    int ventricle = 0, atrium = 0, neither = 0;
    for (int16_t label : model.m_vtxIsVentriOrAtrium) {
        if (label == 1)
            ++ventricle;
        else if (label == 2)
            ++atrium;
        else
            ++neither;
    }
    j["labels"] = {{"ventricle", ventricle}, {"atrium", atrium}, {"neither", neither}};
    j["constraints"] = {{"phase", model.m_phaseField.m_constraints.size()},
                        {"amplitude", model.m_ampliField.m_constraints.size()},
                        {"depth", model.m_orienField.m_depthField.m_constraints.size()}};
    j["strokes"] = model.m_orienField.m_strokes.size();
    j["iteration_n"] = model.m_iterationN;
    if (const TGlobalExcitation* ex = model.m_excitation.get()) {
        auto chart = [](const TChart& c) {
            nlohmann::json points = nlohmann::json::array();
            for (const auto& [x, y] : c) points.push_back({x, y});
            return points;
        };
        j["excitation"] = {{"amplitude", ex->m_amplitude},         {"cycle_length", ex->m_cycleLength},
                           {"num_of_wave", ex->m_numOfWave},       {"num_of_wave_a", ex->m_numOfWaveA},
                           {"propagation", ex->m_propagationMode}, {"propagation_a", ex->m_propagationModeA},
                           {"chart_vent", chart(ex->m_chartVent)}, {"chart_atri", chart(ex->m_chartAtri)}};
    } else {
        j["excitation"] = nullptr;
    }
    return j;
}

bool loadModelForCli(TLSMModel& model, const std::string& base) {
    std::string reason;
    if (!model.loadModel(base, &reason)) {
        // The reason goes to standard error even under --quiet, which silences only the console lines.
        std::fprintf(stderr, "velmora-cli: cannot load model '%s'%s%s\n", base.c_str(), reason.empty() ? "" : ": ",
                     reason.c_str());
        return false;
    }
    const ProjectLoadResult& project = model.m_projectLoad;
    if (project.status == ProjectLoadResult::Status::Refused) {
        std::fprintf(stderr, "velmora-cli: project file '%s.vm' refused: it does not match the mesh: %s\n",
                     base.c_str(), project.message.c_str());
        return false;
    }
    if (project.status == ProjectLoadResult::Status::Damaged)
        std::fprintf(stderr, "velmora-cli: warning: project file '%s.vm' is damaged and was read up to: %s\n",
                     base.c_str(), project.message.c_str());
    return true;
}
