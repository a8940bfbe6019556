// QtBusyCursor: the application's wait cursor as the interaction layer's busy indicator.
#pragma once

#include "interaction/BusyIndicator.h"

/// The busy cursor over the whole application while a recomputation runs (calls nest). Installed
/// by the application object for its lifetime. User-interface thread only.
class QtBusyCursor : public BusyIndicator {
   public:
    void beginBusy() override;
    void endBusy() override;
};
