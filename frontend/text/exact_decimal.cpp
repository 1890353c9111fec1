#include "exact_decimal.h"

#include "binary_rounding.h"
#include "number_lexer.h"

#include <bit>

namespace {

// A natural number in 32-bit limbs, least significant first. The largest
// one built: 10^1201 (801 digits and a scale of -400) shifted left by 64
// bits, under 4060 bits.
struct Natural {
    static constexpr std::size_t CAPACITY = 136;
    std::uint32_t limb[CAPACITY];
    std::size_t size; // limbs in use; the top one nonzero, or size 0 for zero
};

void multiply_add(Natural* n, std::uint32_t factor, std::uint32_t addend) noexcept
{
    std::uint64_t carry = addend;
    for (std::size_t i = 0; i < n->size; ++i) {
        const std::uint64_t product = std::uint64_t{n->limb[i]} * factor + carry;
        n->limb[i] = static_cast<std::uint32_t>(product);
        carry = product >> 32;
    }
    if (carry != 0) {
        n->limb[n->size++] = static_cast<std::uint32_t>(carry);
    }
}

constexpr std::uint32_t POWERS_OF_TEN[] = {1,      10,      100,      1000,      10000,
                                           100000, 1000000, 10000000, 100000000, 1000000000};

// n * 10^k, nine digits at a time.
void multiply_power_of_ten(Natural* n, std::int64_t k) noexcept
{
    for (; k >= 9; k -= 9) {
        multiply_add(n, POWERS_OF_TEN[9], 0);
    }
    multiply_add(n, POWERS_OF_TEN[k], 0);
}

void set_small(Natural* n, std::uint32_t value) noexcept
{
    n->limb[0] = value;
    n->size = value != 0;
}

void shift_left(Natural* n, std::int64_t bits) noexcept
{
    const std::size_t limbs = static_cast<std::size_t>(bits / 32);
    const unsigned rest = static_cast<unsigned>(bits % 32);
    if (n->size == 0) {
        return;
    }
    n->limb[n->size + limbs] = 0;
    for (std::size_t i = n->size; i-- > 0;) {
        const std::uint64_t wide = std::uint64_t{n->limb[i]} << rest;
        n->limb[i + limbs + 1] |= static_cast<std::uint32_t>(wide >> 32);
        n->limb[i + limbs] = static_cast<std::uint32_t>(wide);
    }
    for (std::size_t i = 0; i < limbs; ++i) {
        n->limb[i] = 0;
    }
    n->size += limbs + 1;
    while (n->size > 0 && n->limb[n->size - 1] == 0) {
        --n->size;
    }
}

void shift_right_one(Natural* n) noexcept
{
    for (std::size_t i = 0; i < n->size; ++i) {
        const std::uint32_t high = i + 1 < n->size ? n->limb[i + 1] : 0;
        n->limb[i] = n->limb[i] >> 1 | high << 31;
    }
    if (n->size > 0 && n->limb[n->size - 1] == 0) {
        --n->size;
    }
}

std::int64_t bit_length(const Natural* n) noexcept
{
    if (n->size == 0) {
        return 0;
    }
    return static_cast<std::int64_t>(32 * (n->size - 1)) + std::bit_width(n->limb[n->size - 1]);
}

int compare(const Natural* a, const Natural* b) noexcept
{
    if (a->size != b->size) {
        return a->size < b->size ? -1 : 1;
    }
    for (std::size_t i = a->size; i-- > 0;) {
        if (a->limb[i] != b->limb[i]) {
            return a->limb[i] < b->limb[i] ? -1 : 1;
        }
    }
    return 0;
}

// a -= b, with a >= b.
void subtract(Natural* a, const Natural* b) noexcept
{
    std::uint64_t borrow = 0;
    for (std::size_t i = 0; i < a->size; ++i) {
        const std::uint64_t sub = std::uint64_t{i < b->size ? b->limb[i] : 0u} + borrow;
        borrow = a->limb[i] < sub;
        a->limb[i] = static_cast<std::uint32_t>(a->limb[i] - sub);
    }
    while (a->size > 0 && a->limb[a->size - 1] == 0) {
        --a->size;
    }
}

// The top 64 bits of n (n nonzero), whether any bit below them is set, and
// the weight of their last bit.
std::uint64_t top_bits(const Natural* n, bool* sticky, std::int64_t* exp2) noexcept
{
    const std::int64_t length = bit_length(n);
    const std::int64_t drop = length > 64 ? length - 64 : 0;
    std::uint64_t q = 0;
    bool rest = false;
    for (std::int64_t bit = length - 1; bit >= 0; --bit) {
        const bool set = (n->limb[bit / 32] >> (bit % 32) & 1u) != 0;
        if (bit >= drop) {
            q = q << 1 | set;
        } else if (set) {
            rest = true;
            break;
        }
    }
    *sticky = rest;
    *exp2 = drop;
    return q;
}

template <typename T>
T convert(const char* digits, std::size_t count, bool sticky, std::int64_t exponent, bool negative) noexcept
{
    // D from its digits; a sticky tail becomes one more digit 1. Every
    // midpoint between adjacent results has fewer significant digits than
    // are kept, so none lies strictly between D and D + 1 in the last
    // place: the whole text and D followed by a 1 round alike.
    Natural d;
    set_small(&d, 0);
    for (std::size_t i = 0; i < count; ++i) {
        multiply_add(&d, 10, static_cast<std::uint32_t>(digits[i] - '0'));
    }
    if (sticky) {
        multiply_add(&d, 10, 1);
        --exponent;
    }

    std::uint64_t q;
    std::int64_t exp2;
    bool rest;
    if (exponent >= 0) {
        multiply_power_of_ten(&d, exponent);
        q = top_bits(&d, &rest, &exp2);
        return round_binary<T>(q, exp2, rest, negative);
    }
    // D / 10^k by long division. With X = D * 2^s and Y = 10^k * 2^t of bit
    // lengths 63 apart (one of s, t zero), X / Y lies in (2^62, 2^64): the
    // quotient's 63 or 64 bits are P + 2 or more, and the remainder tells
    // whether anything lies below them.
    Natural b;
    set_small(&b, 1);
    multiply_power_of_ten(&b, -exponent);
    const std::int64_t shift = bit_length(&b) + 63 - bit_length(&d);
    if (shift > 0) {
        shift_left(&d, shift);
    } else {
        shift_left(&b, -shift);
    }
    // Y * 2^64 > X; halved before each quotient bit, it is Y * 2^bit.
    shift_left(&b, 64);
    q = 0;
    for (int bit = 63; bit >= 0; --bit) {
        shift_right_one(&b);
        if (compare(&d, &b) >= 0) {
            subtract(&d, &b);
            q |= std::uint64_t{1} << bit;
        }
    }
    return round_binary<T>(q, -shift, d.size != 0, negative);
}

} // namespace

float exact_decimal_to_float(const char* digits, std::size_t count, bool sticky, std::int64_t exponent,
                             bool negative) noexcept
{
    return convert<float>(digits, count, sticky, exponent, negative);
}

double exact_decimal_to_double(const char* digits, std::size_t count, bool sticky, std::int64_t exponent,
                               bool negative) noexcept
{
    return convert<double>(digits, count, sticky, exponent, negative);
}
