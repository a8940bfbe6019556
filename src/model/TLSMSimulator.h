// TLSMSimulator: lattice shape-matching simulator state embedded in the heart model.
#pragma once

/// Filled by initSimulator; stepped by the model's updateModel. UI thread; parallel loops inside.
class TLSMSimulator {
public:
    int m_threadNum = 1;
};
