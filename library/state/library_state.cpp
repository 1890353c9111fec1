#include "state/library_state.h"

LibraryState library_state = {
    STATUS_INIT_NOT_CALLED,
    1,
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    0, 0, 0, 0, 0, 0,
    {}, {}, {},
};
