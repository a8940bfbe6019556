// DisplaySwitches: names, parsing and the standard mode's plan.
#include "offscreen/DisplaySwitches.h"

#include "interaction/ModeScenes.h"
#include "model/MainWindowManager.h"

namespace {

struct NamedSwitch {
    const char* name;
    bool DisplaySwitches::*member;
};

constexpr NamedSwitch kSwitches[] = {
    {"mesh", &DisplaySwitches::mesh},
    {"vertices", &DisplaySwitches::vertices},
    {"walls", &DisplaySwitches::walls},
    {"fibres-atria", &DisplaySwitches::fibresAtria},
    {"fibres-ventricles", &DisplaySwitches::fibresVentricles},
    {"held", &DisplaySwitches::held},
    {"fibres-second", &DisplaySwitches::fibresSecond},
    {"fibres-third", &DisplaySwitches::fibresThird},
    {"frames", &DisplaySwitches::frames},
    {"charts", &DisplaySwitches::charts},
};

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

DisplaySwitches DisplaySwitches::ofWindowStart(const MainWindowManager& manager) {
    DisplaySwitches show;
    show.mesh = manager.m_bShowMesh;
    show.vertices = manager.m_bShowVertices;
    show.walls = manager.m_bShowRooms;
    show.fibresAtria = manager.m_bShowFibAtri;
    show.fibresVentricles = manager.m_bShowFibVent;
    show.held = manager.m_bShowConstraints;
    show.fibresSecond = manager.m_bShowFib2;
    show.fibresThird = manager.m_bShowFib3;
    return show;
}

DisplaySwitches DisplaySwitches::none() {
    DisplaySwitches show;
    show.frames = false;
    show.charts = false;
    return show;
}

bool DisplaySwitches::operator==(const DisplaySwitches& other) const {
    for (const NamedSwitch& s : kSwitches)
        if (this->*s.member != other.*s.member) return false;
    return true;
}

bool parseDisplaySwitches(const std::string& list, DisplaySwitches& out, std::string& error) {
    DisplaySwitches show = DisplaySwitches::none();
    if (trimmed(list) == "none") {
        out = show;
        return true;
    }
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        const std::string name =
            trimmed(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        bool known = false;
        for (const NamedSwitch& s : kSwitches)
            if (name == s.name) {
                show.*s.member = true;
                known = true;
            }
        if (!known) {
            error =
                (name.empty() ? std::string("an empty display switch name") : "unknown display switch '" + name + "'") +
                " in '" + list + "' (known: " + knownDisplaySwitchNames() + ", or none)";
            return false;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    out = show;
    return true;
}

std::string displaySwitchList(const DisplaySwitches& show) {
    std::string list;
    for (const NamedSwitch& s : kSwitches)
        if (show.*s.member) list += (list.empty() ? "" : ",") + std::string(s.name);
    return list.empty() ? "none" : list;
}

std::string knownDisplaySwitchNames() {
    std::string names;
    for (const NamedSwitch& s : kSwitches) names += (names.empty() ? "" : ", ") + std::string(s.name);
    return names;
}

StdScenePlan planForSwitches(const DisplaySwitches& show, double alpha) {
    StdScenePlan plan;
    plan.fibreSets = {show.fibresAtria, show.fibresVentricles, show.fibresSecond, show.fibresThird};
    plan.chamberWalls = show.walls;
    plan.wireframe = show.mesh;
    plan.vertices = show.vertices;
    plan.heldAndFrames = show.held;
    plan.markerPoints = true;
    plan.alpha = alpha;
    return plan;
}
