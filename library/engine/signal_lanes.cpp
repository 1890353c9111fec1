#include "engine/signal_lanes.h"
#include "engine/signal_lanes_avx512.h"
#include "engine/float_elementary.h"
#include "classifier.h"

#include <cstring>
#if defined(__x86_64__) && !defined(_WIN32)
#include <immintrin.h>
#endif
#include <limits>

// The lane functions are always inlined into one function per instruction
// set: no 32-byte vector crosses a call, and the warning about their ABI does
// not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

constexpr int LANES = 8;
typedef float Floats __attribute__((vector_size(4 * LANES)));
typedef std::int32_t Ints __attribute__((vector_size(4 * LANES)));

// A block's values, lane s of each row being signal s: unaligned loads and
// stores (memcpy), so no stack needs 32-byte alignment.
struct LaneBlock {
    float features[INPUT_LENGTH * LANES];
    float pre_activations[HIDDEN_CAPACITY * LANES];
    float hidden[HIDDEN_CAPACITY * LANES];
    float exponents[CLASS_COUNT * LANES];
    float exponentials[CLASS_COUNT * LANES];
};

__attribute__((always_inline)) inline Floats load(const float* p) noexcept
{
    Floats v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

__attribute__((always_inline)) inline void store(float* p, Floats v) noexcept
{
    std::memcpy(p, &v, sizeof v);
}

// (Not Floats{} + x: 0 + -0 is +0. A scalar operand of a vector operation
// is broadcast the same way.)
__attribute__((always_inline)) inline Floats broadcast(float x) noexcept
{
    return Floats{x, x, x, x, x, x, x, x};
}

// (input - mean) * scale per position, as standardise_signal; the feature
// window copies it unchanged.
__attribute__((always_inline)) inline void standardise_lanes(const float* const* rows, const float* means,
                                                             const float* scales, float* features) noexcept
{
    for (int i = 0; i < INPUT_LENGTH; ++i) {
        Floats x;
        for (int s = 0; s < LANES; ++s) {
            x[s] = rows[s][i];
        }
        const Floats difference = x - means[i];
        store(features + i * LANES, difference * scales[i]);
    }
}

// Units first .. first+C-1: bias, then weight times feature for inputs 0, 1,
// ... in order, as hidden_layer sums each unit. C sums in registers.
template <int C>
__attribute__((always_inline)) inline void unit_sums(const float* features, const NetworkView& network, int first,
                                                     float* pre_activations) noexcept
{
    Floats sums[C];
    for (int c = 0; c < C; ++c) {
        sums[c] = broadcast(network.hidden_biases[first + c]);
    }
    const int units = network.hidden_units;
    for (int i = 0; i < network.inputs; ++i) {
        const Floats x = load(features + i * LANES);
        const float* row = network.hidden_weights + i * units + first;
        for (int c = 0; c < C; ++c) {
            sums[c] = sums[c] + row[c] * x;
        }
    }
    for (int c = 0; c < C; ++c) {
        store(pre_activations + (first + c) * LANES, sums[c]);
    }
}

constexpr int UNITS_AT_ONCE = 8;

__attribute__((always_inline)) inline void hidden_lanes(const NetworkView& network, LaneBlock& block) noexcept
{
    int first = 0;
    for (; first + UNITS_AT_ONCE <= network.hidden_units; first += UNITS_AT_ONCE) {
        unit_sums<UNITS_AT_ONCE>(block.features, network, first, block.pre_activations);
    }
    switch (network.hidden_units - first) {
    case 7: unit_sums<7>(block.features, network, first, block.pre_activations); break;
    case 6: unit_sums<6>(block.features, network, first, block.pre_activations); break;
    case 5: unit_sums<5>(block.features, network, first, block.pre_activations); break;
    case 4: unit_sums<4>(block.features, network, first, block.pre_activations); break;
    case 3: unit_sums<3>(block.features, network, first, block.pre_activations); break;
    case 2: unit_sums<2>(block.features, network, first, block.pre_activations); break;
    case 1: unit_sums<1>(block.features, network, first, block.pre_activations); break;
    default: break;
    }
    float_tanh_array(block.pre_activations, block.hidden, network.hidden_units * LANES);
}

// Scores as output_layer sums them, then t = (score - max) * factor as
// softmax_decision forms its exponents.
__attribute__((always_inline)) inline void output_lanes(const NetworkView& network, LaneBlock& block) noexcept
{
    Floats scores[CLASS_COUNT];
    for (int k = 0; k < CLASS_COUNT; ++k) {
        scores[k] = broadcast(network.output_biases[k]);
    }
    for (int j = 0; j < network.output_units; ++j) {
        const Floats a = load(block.hidden + j * LANES);
        for (int k = 0; k < CLASS_COUNT; ++k) {
            scores[k] = scores[k] + a * network.output_weights[4 * j + k];
        }
    }
    Floats maximum = scores[0];
    for (int k = 1; k < CLASS_COUNT; ++k) {
        maximum = scores[k] > maximum ? scores[k] : maximum;
    }
    const Floats factor = broadcast(static_cast<float>(SOFTMAX_FACTOR));
    for (int k = 0; k < CLASS_COUNT; ++k) {
        const Floats t = scores[k] - maximum;
        store(block.exponents + k * LANES, t * factor);
    }
    float_exp_array(block.exponents, block.exponentials, CLASS_COUNT * LANES);
}

// The sum, reciprocal, products and winner of softmax_decision; stores the
// first `count` lanes.
__attribute__((always_inline)) inline void decision_lanes(const LaneBlock& block, int count, float* probabilities,
                                                          std::uint16_t* class_ids) noexcept
{
    Floats e[CLASS_COUNT];
    Floats sum = broadcast(0.0f);
    for (int k = 0; k < CLASS_COUNT; ++k) {
        e[k] = load(block.exponentials + k * LANES);
        sum = sum + e[k];
    }
    const Floats reciprocal = broadcast(1.0f) / sum;
    const Floats nan = broadcast(std::numeric_limits<float>::quiet_NaN());
    Floats p[CLASS_COUNT];
    for (int k = 0; k < CLASS_COUNT; ++k) {
        const Floats product = e[k] * reciprocal;
        p[k] = product == product ? product : nan;
    }
    Floats best = p[0];
    Ints index = Ints{} + 1;
    for (int k = 1; k < CLASS_COUNT; ++k) {
        const Ints wins = p[k] > best;
        best = wins ? p[k] : best;
        index = wins ? Ints{} + (k + 1) : index;
    }
    for (int s = 0; s < count; ++s) {
        for (int k = 0; k < CLASS_COUNT; ++k) {
            probabilities[s * CLASS_COUNT + k] = p[k][s];
        }
        class_ids[s] = static_cast<std::uint16_t>(index[s]);
    }
}

// Standardise is standardise_lanes or a faster form of it for one
// instruction set.
typedef void StandardiseLanes(const float* const* rows, const float* means, const float* scales,
                              float* features) noexcept;

template <StandardiseLanes Standardise>
__attribute__((always_inline)) inline void run_blocks(const NetworkView& network, const float* means,
                                                      const float* scales, const float* signals, std::size_t count,
                                                      float* probabilities, std::uint16_t* class_ids) noexcept
{
    LaneBlock block;
    for (std::size_t done = 0; done < count; done += LANES) {
        const int in_block = count - done < LANES ? static_cast<int>(count - done) : LANES;
        const float* rows[LANES];
        for (int s = 0; s < LANES; ++s) {
            rows[s] = signals + (done + static_cast<std::size_t>(s < in_block ? s : in_block - 1)) * INPUT_LENGTH;
        }
        Standardise(rows, means, scales, block.features);
        hidden_lanes(network, block);
        output_lanes(network, block);
        decision_lanes(block, in_block, probabilities + done * CLASS_COUNT, class_ids + done);
    }
}

void signal_lanes_portable(const NetworkView& network, const float* means, const float* scales,
                           const float* signals, std::size_t count, float* probabilities,
                           std::uint16_t* class_ids) noexcept
{
    run_blocks<standardise_lanes>(network, means, scales, signals, count, probabilities, class_ids);
}

#if defined(__x86_64__) && !defined(_WIN32)
// standardise_lanes with the values moved into lanes by an 8x8 transpose in
// registers, eight rows at a time: unpacking pairs of rows, then pairs of
// pairs, leaves in 128-bit half h of vector 4g + c rows 4g..4g+3 of column
// 4h + c, and swapping halves gathers each column. (A call per block: the
// blocks' function, instantiated without a target, cannot inline it.)
__attribute__((target("avx2"))) void standardise_lanes_avx2(const float* const* rows, const float* means,
                                                            const float* scales, float* features) noexcept
{
    for (int first = 0; first < INPUT_LENGTH; first += LANES) {
        __m256 r[LANES];
        __m256 t[LANES];
        for (int s = 0; s < LANES; ++s) {
            r[s] = _mm256_loadu_ps(rows[s] + first);
        }
        for (int i = 0; i < LANES; i += 2) {
            t[i] = _mm256_unpacklo_ps(r[i], r[i + 1]);
            t[i + 1] = _mm256_unpackhi_ps(r[i], r[i + 1]);
        }
        for (int i = 0; i < LANES; i += 4) {
            r[i] = _mm256_shuffle_ps(t[i], t[i + 2], 0x44);
            r[i + 1] = _mm256_shuffle_ps(t[i], t[i + 2], 0xee);
            r[i + 2] = _mm256_shuffle_ps(t[i + 1], t[i + 3], 0x44);
            r[i + 3] = _mm256_shuffle_ps(t[i + 1], t[i + 3], 0xee);
        }
        for (int c = 0; c < 4; ++c) {
            t[c] = _mm256_permute2f128_ps(r[c], r[4 + c], 0x20);
            t[4 + c] = _mm256_permute2f128_ps(r[c], r[4 + c], 0x31);
        }
        for (int i = 0; i < LANES; ++i) {
            const __m256 difference = _mm256_sub_ps(t[i], _mm256_set1_ps(means[first + i]));
            _mm256_storeu_ps(features + (first + i) * LANES, _mm256_mul_ps(difference, _mm256_set1_ps(scales[first + i])));
        }
    }
}

// Eight lanes per instruction where the processor has AVX2. (Not on Windows,
// whose 64-bit GCC cannot align the stack for 32-byte spills.)
__attribute__((target("avx2"))) void signal_lanes_avx2(const NetworkView& network, const float* means,
                                                        const float* scales, const float* signals,
                                                        std::size_t count, float* probabilities,
                                                        std::uint16_t* class_ids) noexcept
{
    run_blocks<standardise_lanes_avx2>(network, means, scales, signals, count, probabilities, class_ids);
}
#define OMBREL_SIGNAL_LANES_AVX2 1
#endif

} // namespace

bool signal_lanes_path_available(SignalLanesPath path) noexcept
{
    switch (path) {
    case SignalLanesPath::PORTABLE: return true;
#ifdef OMBREL_SIGNAL_LANES_AVX2
    case SignalLanesPath::AVX2: return __builtin_cpu_supports("avx2");
#endif
#if OMBREL_SIGNAL_LANES_AVX512
    case SignalLanesPath::AVX512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
               __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
#endif
    default: return false;
    }
}

void signal_lanes_through(SignalLanesPath path, const NetworkView& network, const float* means,
                          const float* scales, const float* signals, std::size_t count, float* probabilities,
                          std::uint16_t* class_ids) noexcept
{
    switch (path) {
#if OMBREL_SIGNAL_LANES_AVX512
    case SignalLanesPath::AVX512:
        signal_lanes_avx512(network, means, scales, signals, count, probabilities, class_ids);
        return;
#endif
#ifdef OMBREL_SIGNAL_LANES_AVX2
    case SignalLanesPath::AVX2:
        signal_lanes_avx2(network, means, scales, signals, count, probabilities, class_ids);
        return;
#endif
    default: signal_lanes_portable(network, means, scales, signals, count, probabilities, class_ids);
    }
}

void signal_lanes(const NetworkView& network, const float* means, const float* scales, const float* signals,
                  std::size_t count, float* probabilities, std::uint16_t* class_ids) noexcept
{
    // The widest path the processor has, looked up on every call (a few
    // loads of the runtime's CPU model): a function-local static would need
    // the C++ runtime's guards, which a C program linking the library lacks.
    const SignalLanesPath widest = signal_lanes_path_available(SignalLanesPath::AVX512) ? SignalLanesPath::AVX512
                                          : signal_lanes_path_available(SignalLanesPath::AVX2)
                                              ? SignalLanesPath::AVX2
                                              : SignalLanesPath::PORTABLE;
    signal_lanes_through(widest, network, means, scales, signals, count, probabilities, class_ids);
}
