// The one converter: a NumberRecord that the lexer finished to the nearest
// float (the "%f" scan) or double (atof), ties to even, subnormals kept;
// overflow gives infinity and underflow zero, both with the text's sign.
#ifndef OMBREL_NUMBER_CONVERTER_H
#define OMBREL_NUMBER_CONVERTER_H

#include "number_lexer.h"

// r->form is NUMBER, NAN_WORD or INFINITY_WORD. NaN is the quiet NaN with
// the text's sign.
float number_to_float(const NumberRecord* r) noexcept;
double number_to_double(const NumberRecord* r) noexcept;

#endif
