#include "command_line.h"

#include "text/number_array_word.h"
#include "text/number_line_word.h"

#include <cstring>

namespace {

// Option and command words match only in full: same characters, same case.
bool is_word(const char* word, const char* expected) noexcept
{
    return word != nullptr && std::strcmp(word, expected) == 0;
}

CommandWord command_word_of(const char* word) noexcept
{
    if (word == nullptr) {
        return CommandWord::MISSING;
    }
    if (is_word(word, "ombr_get_info")) {
        return CommandWord::INFORMATION;
    }
    return is_word(word, "ombr_classification") ? CommandWord::CLASSIFICATION : CommandWord::UNKNOWN;
}

ModeWord mode_word_of(const char* word) noexcept
{
    if (is_word(word, "--file")) {
        return ModeWord::SIGNAL_FILE;
    }
    return is_word(word, "--array") ? ModeWord::ARRAY : ModeWord::OTHER;
}

WindowPair window_pair_of(const char* option, const char* value) noexcept
{
    WindowPair pair{};
    pair.option = is_word(option, "--begin") ? WindowOption::BEGIN
                  : is_word(option, "--end") ? WindowOption::END
                                             : WindowOption::OTHER;
    pair.line = parse_line_number(value);
    return pair;
}

} // namespace

CommandLine read_command_line(int argc, const char* const* argv) noexcept
{
    const auto word = [argc, argv](int i) -> const char* { return i < argc ? argv[i] : nullptr; };
    CommandLine line{};
    line.command_word = word(1);
    line.command = command_word_of(line.command_word);
    line.more_words = argc > 2;
    line.knowledge_option = is_word(word(2), "--knowledge_path");
    line.knowledge_path = word(3);
    line.mode = mode_word_of(word(4));

    constexpr int FIRST_VALUE_WORD = 5;
    if (line.mode == ModeWord::ARRAY) {
        // Words after the last slot's are never read.
        for (int slot = 0; slot < INPUT_LENGTH && FIRST_VALUE_WORD + slot < argc; ++slot) {
            line.array_signal[slot] = array_word_value(argv[FIRST_VALUE_WORD + slot]);
        }
    }
    if (line.mode == ModeWord::SIGNAL_FILE) {
        line.signal_path = word(FIRST_VALUE_WORD);
        constexpr int WHOLE_FILE_WORDS = 6;
        constexpr int WINDOW_WORDS = WHOLE_FILE_WORDS + 2 * WINDOW_PAIRS;
        line.file_form = argc == WHOLE_FILE_WORDS ? FileForm::WHOLE_FILE
                         : argc == WINDOW_WORDS   ? FileForm::WINDOW
                                                  : FileForm::WRONG_WORD_COUNT;
        if (line.file_form == FileForm::WINDOW) {
            for (int pair = 0; pair < WINDOW_PAIRS; ++pair) {
                const int option = WHOLE_FILE_WORDS + 2 * pair;
                line.window[pair] = window_pair_of(argv[option], argv[option + 1]);
            }
        }
    }
    return line;
}
