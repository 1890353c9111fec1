#include "value_scanner.h"

#include "decimal_scan.h"
#include "number_chars.h"
#include "number_converter.h"
#include "number_lexer.h"

namespace {

// Skips white space; false at the end of the file.
bool skip_space(SignalStream* s) noexcept
{
    for (;;) {
        const SignalSpan span = signal_stream_span(s);
        const char* p = span.begin;
        while (p != span.end && is_number_space(static_cast<unsigned char>(*p))) {
            ++p;
        }
        signal_stream_consume_to(s, p);
        if (p != span.end) {
            return true;
        }
        if (!signal_stream_need_more(s)) {
            return false;
        }
    }
}

// The decimal fast path on the span, when the text and the character
// that ends it are there. The caller made sure the span is not empty.
bool scan_short(SignalStream* s, float* value) noexcept
{
    const SignalSpan span = signal_stream_span(s);
    const char* const end = scan_decimal(span.begin, span.end, value);
    if (end == nullptr) {
        return false;
    }
    signal_stream_consume_to(s, end);
    return true;
}

// The lexer over as many spans as the text needs, then the converter. Kept
// out of line: its record would burden the fast path's frame.
[[gnu::noinline]] bool scan_general(SignalStream* s, float* value) noexcept
{
    NumberRecord r;
    number_lexer_start(&r);
    for (;;) {
        const SignalSpan span = signal_stream_span(s);
        const LexStep step = number_lex(&r, span.begin, span.end, false);
        signal_stream_consume(s, step.taken);
        if (!step.ran_out) {
            break;
        }
        if (!signal_stream_need_more(s)) {
            (void)number_lex(&r, nullptr, nullptr, true);
            break;
        }
    }
    if (r.form == NumberForm::NONE) {
        return false;
    }
    *value = number_to_float(&r);
    return true;
}

} // namespace

bool scan_value(SignalStream* s, float* value) noexcept
{
    // The usual case first: a value right at the reading position, with
    // the span long enough for the decimal path to read it in place.
    signal_stream_look_ahead(s);
    const SignalSpan span = signal_stream_span(s);
    if (span.end - span.begin > DECIMAL_SCAN_SPAN && !is_number_space(static_cast<unsigned char>(*span.begin))) {
        const char* const end = scan_decimal_text(span.begin, value);
        if (end != nullptr) {
            signal_stream_consume_to(s, end);
            return true;
        }
        return scan_general(s, value);
    }
    if (!skip_space(s)) {
        return false;
    }
    signal_stream_look_ahead(s);
    return scan_short(s, value) || scan_general(s, value);
}

bool scan_value_general(SignalStream* s, float* value) noexcept
{
    return skip_space(s) && scan_general(s, value);
}
