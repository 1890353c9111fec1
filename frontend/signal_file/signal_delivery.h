// Handing one signal to the sink: classified first when the run has a
// knowledge.
#ifndef OMBREL_SIGNAL_FILE_SIGNAL_DELIVERY_H
#define OMBREL_SIGNAL_FILE_SIGNAL_DELIVERY_H

#include "classifier_context.h"
#include "signal_file/signal_file.h"

struct SignalDelivery {
    SignalSink sink;
    ClassifierContext* context; // null: the values are handed over
};

// False when the sink stops the run.
inline bool deliver_signal(const SignalDelivery& to, std::int64_t line, const float* values, bool last) noexcept
{
    SignalRecord record{line, values, nullptr, 0, last};
    float probabilities[CLASS_COUNT];
    if (to.context != nullptr) {
        (void)classifier_context_run(to.context, values, probabilities, &record.class_id);
        record.values = nullptr;
        record.probabilities = probabilities;
    }
    return to.sink.take(to.sink.context, record);
}

#endif
