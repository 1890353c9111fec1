// The words of one command line, read once into a record that every later
// step takes. Words are numbered as the platform passes them: word 0 is the
// program's name, word 1 the command word. Reading checks nothing and
// prints nothing; the steps after it refuse what they must, in their order.
#ifndef OMBREL_COMMAND_LINE_H
#define OMBREL_COMMAND_LINE_H

#include "classifier.h"

#include <cstdint>

enum class CommandWord : std::uint8_t { MISSING, INFORMATION, CLASSIFICATION, UNKNOWN };

// Word 4 of the classification command; OTHER includes an absent word.
enum class ModeWord : std::uint8_t { OTHER, SIGNAL_FILE, ARRAY };

// The number of words in file mode: six for the whole file, ten for two
// window pairs, anything else is refused.
enum class FileForm : std::uint8_t { WRONG_WORD_COUNT, WHOLE_FILE, WINDOW };

enum class WindowOption : std::uint8_t { BEGIN, END, OTHER };

// Words 6 and 7, or 8 and 9, of the ten-word form.
struct WindowPair {
    WindowOption option;
    std::int32_t line; // the value word as a line number (parse_line_number)
};

inline constexpr int WINDOW_PAIRS = 2;

struct CommandLine {
    CommandWord command;
    const char* command_word;  // word 1 exactly as typed; null when absent
    bool more_words;           // a word after the command word, an empty one included
    bool knowledge_option;     // word 2 is "--knowledge_path"
    const char* knowledge_path; // word 3; null when absent
    ModeWord mode;
    // File mode only.
    FileForm file_form;
    const char* signal_path;   // word 5; null when absent
    WindowPair window[WINDOW_PAIRS]; // WINDOW form only, in the order typed
    // Array mode only: words 5 to 4 + INPUT_LENGTH as array_word_value reads
    // them; a slot without a word holds zero.
    float array_signal[INPUT_LENGTH];
};

// argv holds argc words (argc >= 1).
CommandLine read_command_line(int argc, const char* const* argv) noexcept;

#endif
