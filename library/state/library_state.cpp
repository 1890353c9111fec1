#include "state/library_state.h"

LibraryState library_state = {
    // Nothing attached: null views, N = 0, zeroed working buffers.
    {STATUS_INIT_NOT_CALLED, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, {}, {}, {}},
    // One standardisation block; no geometry until classifier_init.
    {1, 0, 0, 0, 0, 0},
};
