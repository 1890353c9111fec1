#include "signal_file_error.h"

ErrorBlock signal_file_error_block(SignalFileStatus status) noexcept
{
    switch (status) {
    case SignalFileStatus::NOT_OPENED:
        return ErrorBlock::SIGNAL_FILE_NOT_OPENED;
    case SignalFileStatus::EMPTY:
        return ErrorBlock::FILE_EMPTY;
    case SignalFileStatus::BEGIN_NOT_POSITIVE:
        return ErrorBlock::BEGIN_NOT_POSITIVE;
    case SignalFileStatus::END_NOT_POSITIVE:
        return ErrorBlock::END_NOT_POSITIVE;
    case SignalFileStatus::WINDOW_REVERSED:
        return ErrorBlock::WINDOW_REVERSED;
    case SignalFileStatus::END_BEYOND_FILE:
        return ErrorBlock::END_BEYOND_FILE;
    case SignalFileStatus::RUN_OUT:
        return ErrorBlock::SIGNALS_RUN_OUT;
    case SignalFileStatus::COMPLETE:
    case SignalFileStatus::SINK_STOPPED:
    case SignalFileStatus::SCAN_FAILURE:
    case SignalFileStatus::READ_ERROR:
        break;
    }
    return ErrorBlock::SIGNAL_UNREADABLE;
}
