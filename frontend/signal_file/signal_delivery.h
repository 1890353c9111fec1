// Handing one signal to the sink: classified first when the run has a
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

// False when the sink stops the run.
inline bool deliver_signal(const SignalDelivery& to, std::int64_t line, const float* values, bool last) noexcept
{
    SignalRecord record{line, values, nullptr, 0, last, signal_findings(line, values)};
    float probabilities[CLASS_COUNT];
    if (to.context != nullptr) {
        (void)classifier_context_run(to.context, values, probabilities, &record.class_id);
        record.values = nullptr;
        record.probabilities = probabilities;
    }
    return to.sink.take(to.sink.context, record);
}

#endif
