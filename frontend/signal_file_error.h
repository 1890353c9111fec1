// The command's error block for each failure of a signal file, shared by
// the command and the Python extension.
#ifndef OMBREL_SIGNAL_FILE_ERROR_H
#define OMBREL_SIGNAL_FILE_ERROR_H

#include "error_blocks.h"
#include "signal_file/signal_file.h"

// The block of a failed status (any but COMPLETE and SINK_STOPPED). Its
// detail, where it has one, is the signal file's path.
ErrorBlock signal_file_error_block(SignalFileStatus status) noexcept;

#endif
