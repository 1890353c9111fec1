#include "signal_file/block_output.h"

bool hand_over_block(const Block& block, std::int64_t begin, std::int64_t end, bool classified,
                     SignalSink sink) noexcept
{
    std::int64_t i = begin - 1 - block.first_line;
    for (i = i > 0 ? i : 0; i < block.accepted; ++i) {
        SignalRecord record{block.first_line + i + 1, nullptr, nullptr, 0, false};
        record.last = record.line == end;
        if (classified) {
            record.probabilities = block.results + i * CLASS_COUNT;
            record.class_id = block.class_ids[i];
        } else {
            record.values = block.results + i * INPUT_LENGTH;
        }
        if (!sink.take(sink.context, record)) {
            return false;
        }
    }
    return true;
}
