// The classification engine's kernels: pure functions over the pointers and
// sizes they are given. They read nothing but their arguments, write nothing
// but their outputs, keep nothing between calls and touch no process-wide
// state, so any number of threads may run them at once on their own buffers.
//
// Arithmetic is IEEE-754 single precision, every operation rounded on its own
// (the library is built with -ffp-contract=off); only tanh and exp are taken
// in double precision and rounded to float. Every sum runs in the order
// stated; four-wide code runs only across independent sums.
#ifndef OMBREL_ENGINE_H
#define OMBREL_ENGINE_H

// Each kernel is declared in the header of the file that defines it.
#include "engine/feature_window.h"
#include "engine/hidden_layer.h"
#include "engine/network_forward.h"
#include "engine/output_layer.h"
#include "engine/signal_lanes.h"
#include "engine/softmax_decision.h"
#include "engine/standardise_signal.h"

#endif
