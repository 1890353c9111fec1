#include "signal_file/block_output.h"

#include <cstring>

namespace {

bool hold(HeldRecord* held, const SignalRecord& record, SignalSink sink) noexcept
{
    if (!release_held(held, -1, sink)) {
        return false;
    }
    held->held = true;
    held->record = record;
    const bool values = record.values != nullptr;
    std::memcpy(held->floats, values ? record.values : record.probabilities,
                (values ? INPUT_LENGTH : CLASS_COUNT) * sizeof(float));
    (values ? held->record.values : held->record.probabilities) = held->floats;
    return true;
}

} // namespace

bool hand_over_block(const Block& block, std::int64_t begin, std::int64_t end, bool classified, HeldRecord* held,
                     SignalSink sink) noexcept
{
    std::int64_t i = begin - 1 - block.first_line;
    for (i = i > 0 ? i : 0; i < block.accepted; ++i) {
        SignalRecord record{block.first_line + i + 1, nullptr, nullptr, 0, false, block.findings[i]};
        record.last = record.line == end;
        if (classified) {
            record.probabilities = block.results + i * CLASS_COUNT;
            record.class_id = block.class_ids[i];
        } else {
            record.values = block.results + i * INPUT_LENGTH;
        }
        if (!(end < 0 ? hold(held, record, sink) : sink.take(sink.context, record))) {
            return false;
        }
    }
    return true;
}

bool release_held(HeldRecord* held, std::int64_t end, SignalSink sink) noexcept
{
    if (!held->held) {
        return true;
    }
    held->held = false;
    held->record.last = held->record.line == end;
    return sink.take(sink.context, held->record);
}
