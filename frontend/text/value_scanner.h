// One "%f" conversion of the C library's formatted input, on a signal
// stream: the same characters taken and the same value stored.
#ifndef OMBREL_VALUE_SCANNER_H
#define OMBREL_VALUE_SCANNER_H

#include "signal_stream.h"

// Skips white space, then takes the longest text that the conversion
// accepts (the grammar of number_lexer.h): the value is the correctly
// rounded float of that text's longest valid prefix (an exponent letter
// without digits adds nothing). Returns false when nothing converts: the end
// of the file before a value, a character that cannot begin one, a lone sign
// or point, "0x" without a digit or point, or a word that stops short of
// "nan", "inf" or "infinity" (the character that breaks such a word is
// taken).
bool scan_value(SignalStream* s, float* value) noexcept;

// The same through the lexer and the converter alone, without the
// short-decimal fast path: for tests and the benchmark.
bool scan_value_general(SignalStream* s, float* value) noexcept;

#endif
