// Every error message the program prints, as whole blocks of lines.
#ifndef OMBREL_ERROR_BLOCKS_H
#define OMBREL_ERROR_BLOCKS_H

#include "output_writer.h"

#include <cstdint>

enum class ErrorBlock : std::uint8_t {
    NO_COMMAND,                 // no word after the program's name
    INFORMATION_EXTRA_WORDS,    // ombr_get_info followed by any word
    UNKNOWN_COMMAND,            // detail text: the command word as typed
    CLASSIFICATION_NO_WORDS,    // ombr_classification alone
    KNOWLEDGE_OPTION_MISSING,   // word 2 is not --knowledge_path
    KNOWLEDGE_NOT_OPENED,       // word 3 absent, or not a file that can be read
    FILE_EMPTY,                 // the knowledge or the signal file holds no byte
    KNOWLEDGE_MISMATCH,         // detail number: the status, as an unsigned 8-bit value
    MODE_MISSING,               // word 4 neither --file nor --array
    FILE_WORD_COUNT,            // file mode with neither six nor ten words
    SIGNAL_FILE_NOT_OPENED,
    WINDOW_OPTION_UNKNOWN,      // an option word neither --begin nor --end, or one given twice
    BEGIN_NOT_POSITIVE,
    END_NOT_POSITIVE,
    WINDOW_REVERSED,            // the end line before the begin line
    END_BEYOND_FILE,            // the end line past the file's last line feed
    SIGNALS_RUN_OUT,            // detail text: the signal path; the file ended inside a signal
    SIGNAL_UNREADABLE,          // detail text: the signal path; a value that does not convert
};

// Prints the block, with the detail where it names one, and returns the
// exit status of a failed run (1).
int print_error(OutputWriter* out, ErrorBlock block, const char* detail_text = nullptr,
                std::int32_t detail_number = 0) noexcept;

// The block's lines, in the order print_error prints them, ending with a null
// pointer, for callers that report the same failures in their own way.
const char* const* error_block_lines(ErrorBlock block) noexcept;

// For a line of error_block_lines: 1 when it stands for the detail text, 2
// for the detail number, 0 when it is printed as it is.
int error_line_detail(const char* line) noexcept;

#endif
