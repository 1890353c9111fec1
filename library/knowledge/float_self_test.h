#ifndef OMBREL_FLOAT_SELF_TEST_H
#define OMBREL_FLOAT_SELF_TEST_H

// fminf(1.1f, 2.1f) must give 1.1f. True when it does.
bool float_self_test() noexcept;

#endif
