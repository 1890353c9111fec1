// "nan", "inf" and "infinity", read on their own: the scan takes each letter
// it compares, the one that breaks the word included.
#include "number_lexer.h"

#include "number_chars.h"

void number_lex_word_start(NumberRecord* r, unsigned first) noexcept
{
    r->word_rest = first == 'n' ? "an" : "nf";
    r->phase = LexPhase::WORD;
}

const char* number_lex_word(NumberRecord* r, const char* p, const char* end) noexcept
{
    for (; p != end; ++p) {
        const unsigned lower = to_lower_ascii(static_cast<unsigned char>(*p));
        if (r->phase == LexPhase::AFTER_INF) {
            // "inf" stands unless an 'i' follows, which commits to "infinity".
            if (lower != 'i') {
                r->form = NumberForm::INFINITY_WORD;
                r->phase = LexPhase::DONE;
                return p;
            }
            r->word_rest = "nity";
            r->infinity_tail = true;
            r->phase = LexPhase::WORD;
            continue;
        }
        if (lower != static_cast<unsigned char>(r->word_rest[0])) {
            r->form = NumberForm::NONE;
            r->broken_infinity = r->infinity_tail;
            r->phase = LexPhase::DONE;
            return p + 1;
        }
        if (*++r->word_rest != '\0') {
            continue;
        }
        if (r->infinity_tail) {
            r->form = NumberForm::INFINITY_WORD;
        } else if (lower == 'f') {
            r->phase = LexPhase::AFTER_INF; // "inf"
            continue;
        } else {
            r->form = NumberForm::NAN_WORD;
        }
        r->phase = LexPhase::DONE;
        return p + 1;
    }
    return p;
}
