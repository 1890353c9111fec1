#ifndef OMBREL_KNOWLEDGE_ATTACH_H
#define OMBREL_KNOWLEDGE_ATTACH_H

#include "classifier.h"

// Points the layout into `knowledge`, derives the hidden-layer geometry from
// its stored unit count and compares its configuration block with
// EXPECTED_CONFIGURATION, index 0 first, stopping at the first difference.
// Returns STATUS_OK or STATUS_KNOWLEDGE_MISMATCH. An unusable unit count is a
// mismatch found before any view is set: the layout and geometry are then
// cleared, and nothing past the unit count is read.
LibraryStatus knowledge_attach(const float* knowledge) noexcept;

// fminf(1.1f, 2.1f) must give 1.1f. True when it does.
bool float_self_test() noexcept;

#endif
