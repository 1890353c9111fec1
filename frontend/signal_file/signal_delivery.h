// Handing signals to the sink: classified first when the run has a
// knowledge.
#ifndef OMBREL_SIGNAL_FILE_SIGNAL_DELIVERY_H
#define OMBREL_SIGNAL_FILE_SIGNAL_DELIVERY_H

#include "classifier_context.h"
#include "signal_file/signal_file.h"

#include <cstdint>
#include <cstring>

struct SignalDelivery {
    SignalSink sink;
    ClassifierContext* context; // null: the values are handed over
};

// The record's findings (see SignalRecord) of a signal read on `line`. A
// float is NaN or infinite when its exponent bits are all set; the test runs
// over the converted values, once per signal, never per character, as one
// branch-free loop that the compiler makes four or eight lanes wide.
inline std::uint8_t signal_findings(std::int64_t line, const float* values) noexcept
{
    constexpr std::uint32_t EXPONENT = 0x7f800000u;
    std::uint32_t non_finite = 0;
    for (int k = 0; k < INPUT_LENGTH; ++k) {
        std::uint32_t bits;
        std::memcpy(&bits, &values[k], sizeof bits);
        non_finite |= static_cast<std::uint32_t>((bits & EXPONENT) == EXPONENT);
    }
    bool column_numbers = line == 1;
    for (int k = 0; column_numbers && k < INPUT_LENGTH; ++k) {
        column_numbers = values[k] == static_cast<float>(k);
    }
    return static_cast<std::uint8_t>((non_finite != 0 ? SIGNAL_NON_FINITE : 0) |
                                     (column_numbers ? SIGNAL_COLUMN_NUMBERS : 0));
}

// The most signals handed over at once: the sequential pass gathers as many
// before it classifies them together, as a worker of the threaded pass does.
inline constexpr int SIGNAL_BATCH = 32;

// Hands over the signals of lines first_line, first_line + 1, ... (count of
// them, at most SIGNAL_BATCH; values holds INPUT_LENGTH floats per signal),
// classified together by the batch entry when the run has a knowledge, which
// gives each the bits of a classification of its own. The record of line
// `end` is marked last. False when the sink stops the run: the records after
// the one it refused are not handed over.
inline bool deliver_signals(const SignalDelivery& to, std::int64_t first_line, const float* values, int count,
                            std::int64_t end) noexcept
{
    float probabilities[SIGNAL_BATCH * CLASS_COUNT];
    std::uint16_t class_ids[SIGNAL_BATCH];
    if (to.context != nullptr && count > 0) {
        (void)classifier_context_run_batch(to.context, values, static_cast<std::size_t>(count), probabilities,
                                           class_ids);
    }
    for (int k = 0; k < count; ++k) {
        const std::int64_t line = first_line + k;
        const float* signal = values + k * INPUT_LENGTH;
        SignalRecord record{line, signal, nullptr, 0, line == end, signal_findings(line, signal)};
        if (to.context != nullptr) {
            record.values = nullptr;
            record.probabilities = probabilities + k * CLASS_COUNT;
            record.class_id = class_ids[k];
        }
        if (!to.sink.take(to.sink.context, record)) {
            return false;
        }
    }
    return true;
}

#endif
