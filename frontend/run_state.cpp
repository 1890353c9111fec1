#include "run_state.h"

#include <cstdlib>

RunState run_state = {};

void run_state_reset() noexcept
{
    std::free(run_state.knowledge);
    run_state = RunState{};
}
