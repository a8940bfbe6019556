// QtBusyCursor: the application's wait cursor, shown while the interaction layer's work is busy.
#pragma once

/// Shows the wait cursor over the whole application, before the work starts (calls nest with
/// hideBusyCursor). The application object installs the pair as the busy indicator for its
/// lifetime. User-interface thread only.
void showBusyCursor();
/// Takes back one showBusyCursor.
void hideBusyCursor();
