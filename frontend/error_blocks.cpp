#include "error_blocks.h"

#include "output_writer.h"

#include <cstddef>
#include <iterator>

namespace {

// Lines shared by several blocks.
constexpr char VALID_FUNCTIONS[] = "Valid functions for Emulator call are:\n";
constexpr char INFORMATION_FUNCTION[] = "\tombr_get_info\n";
constexpr char CLASSIFICATION_FUNCTION[] = "\tombr_classification\n";
constexpr char VALID_INFORMATION_CALL[] = "Valid call is: ombr_get_info\n";
constexpr char VALID_CLASSIFICATION_CALLS[] = "Valid Ombrel AI classification function calls are:\n";
constexpr char VALID_FILE_CALLS[] = "Valid Ombrel AI classification function calls by file are:\n";
constexpr char CHECK_PATH[] = "Check path of file and/or name of file is correct.\n";
constexpr char USAGE_FILE_WINDOW[] =
    "\tombr_classification --knowledge_path path/knowledgefile --file path/testfile --begin line --end line\n";
constexpr char USAGE_FILE[] = "\tombr_classification --knowledge_path path/knowledgefile --file path/testfile\n";
constexpr char USAGE_ARRAY[] =
    "\tombr_classification --knowledge_path path/knowledgefile --array value1 value2 ... valueN "
    "(where value1 to valueN are the values of the input buffer)\n";
// Two wordings of the reference line, "Classification" and "Classifier":
// only the block of a bare classification command prints the second.
constexpr char SEE_EMULATOR_DOCUMENTATION[] =
    "Refer to Ombrel AI Classification Emulator documentation for more details:\n";
constexpr char SEE_CLASSIFIER_DOCUMENTATION[] =
    "Refer to Ombrel AI Classifier Emulator documentation for more details:\n";
// The project's own documentation; its README is the reference.
constexpr char DOCUMENTATION_ADDRESS[] = "https://docs.ombrel.example/classification-emulator\n";

constexpr char MISSING_CLASSIFICATION_ARGUMENT[] =
    "Error: missing argument in Ombrel AI classification function call !\n";
constexpr char NOT_VALID_FILE_ARGUMENT[] =
    "Error: missing or not valid argument in Ombrel AI classification function call by file !\n";

// Stand-ins for the block's detail, told apart by their address.
constexpr char DETAIL_TEXT[] = "<text>";
constexpr char DETAIL_NUMBER[] = "<number>";

constexpr std::size_t MOST_LINES = 8;

struct BlockLines {
    ErrorBlock block;
    const char* lines[MOST_LINES + 1]; // ends with a null pointer
};

constexpr BlockLines ERROR_BLOCKS[] = {
    {ErrorBlock::NO_COMMAND,
     {"Error: missing argument in Ombrel AI Classification call !\n", VALID_FUNCTIONS, INFORMATION_FUNCTION,
      CLASSIFICATION_FUNCTION, SEE_EMULATOR_DOCUMENTATION, DOCUMENTATION_ADDRESS}},
    {ErrorBlock::INFORMATION_EXTRA_WORDS,
     {"Error: too many arguments Ombrel AI library id call !\n", VALID_INFORMATION_CALL, SEE_EMULATOR_DOCUMENTATION,
      DOCUMENTATION_ADDRESS}},
    {ErrorBlock::UNKNOWN_COMMAND,
     {"Error ", DETAIL_TEXT, " is not a valid function in Ombrel AI Classification !\n", VALID_FUNCTIONS,
      CLASSIFICATION_FUNCTION, SEE_EMULATOR_DOCUMENTATION, DOCUMENTATION_ADDRESS}},
    {ErrorBlock::CLASSIFICATION_NO_WORDS,
     {MISSING_CLASSIFICATION_ARGUMENT, VALID_CLASSIFICATION_CALLS, USAGE_FILE_WINDOW, USAGE_FILE, USAGE_ARRAY,
      SEE_CLASSIFIER_DOCUMENTATION, DOCUMENTATION_ADDRESS}},
    {ErrorBlock::KNOWLEDGE_OPTION_MISSING,
     {"Error: missing or not valid argument in Ombrel AI classification function call !\n", VALID_FILE_CALLS,
      USAGE_FILE_WINDOW, USAGE_FILE, USAGE_ARRAY, SEE_EMULATOR_DOCUMENTATION, DOCUMENTATION_ADDRESS}},
    {ErrorBlock::KNOWLEDGE_NOT_OPENED, {"Error: could not open knowledge file !\n", CHECK_PATH}},
    {ErrorBlock::FILE_EMPTY, {"Error: file is empty !\n"}},
    {ErrorBlock::KNOWLEDGE_MISMATCH,
     {"Error: a knowledge that do not match the library has been loaded ", DETAIL_NUMBER, " !\n"}},
    {ErrorBlock::MODE_MISSING,
     {MISSING_CLASSIFICATION_ARGUMENT, USAGE_FILE_WINDOW, USAGE_FILE, USAGE_ARRAY, SEE_EMULATOR_DOCUMENTATION,
      DOCUMENTATION_ADDRESS}},
    {ErrorBlock::FILE_WORD_COUNT,
     {NOT_VALID_FILE_ARGUMENT, VALID_FILE_CALLS, USAGE_FILE_WINDOW, USAGE_FILE, SEE_EMULATOR_DOCUMENTATION,
      DOCUMENTATION_ADDRESS}},
    {ErrorBlock::SIGNAL_FILE_NOT_OPENED, {"Error: could not open file !\n", CHECK_PATH}},
    {ErrorBlock::WINDOW_OPTION_UNKNOWN,
     {NOT_VALID_FILE_ARGUMENT, USAGE_FILE_WINDOW, USAGE_FILE, SEE_EMULATOR_DOCUMENTATION, DOCUMENTATION_ADDRESS}},
    {ErrorBlock::BEGIN_NOT_POSITIVE, {"Error: argument --begin is not correct !\n", "Begin line number must be > 0\n"}},
    {ErrorBlock::END_NOT_POSITIVE, {"Error: argument --end is not correct !\n", "End line number must be > 0\n"}},
    {ErrorBlock::WINDOW_REVERSED,
     {"Error: arguments --begin and --end are not compatible !\n",
      "End line number must be >= to begin line number\n"}},
    {ErrorBlock::END_BEYOND_FILE,
     {"Error: argument --end is not compatible with the number of lines in file !\n"}},
    {ErrorBlock::SIGNALS_RUN_OUT,
     {"Error: incompatibility between required and number of data in file ", DETAIL_TEXT, " !\n",
      "Please check your file ", DETAIL_TEXT, ".\n", SEE_EMULATOR_DOCUMENTATION, DOCUMENTATION_ADDRESS}},
    {ErrorBlock::SIGNAL_UNREADABLE,
     {"Error in reading file ", DETAIL_TEXT, " !\n", "Please check your file ", DETAIL_TEXT, ".\n",
      SEE_EMULATOR_DOCUMENTATION, DOCUMENTATION_ADDRESS}},
};

constexpr bool table_in_enum_order() noexcept
{
    for (std::size_t i = 0; i < std::size(ERROR_BLOCKS); ++i) {
        if (static_cast<std::size_t>(ERROR_BLOCKS[i].block) != i) {
            return false;
        }
    }
    return static_cast<std::size_t>(ErrorBlock::SIGNAL_UNREADABLE) + 1 == std::size(ERROR_BLOCKS);
}
static_assert(table_in_enum_order(), "one table entry per block, in the enumeration's order");

} // namespace

const char* const* error_block_lines(ErrorBlock block) noexcept
{
    return ERROR_BLOCKS[static_cast<std::size_t>(block)].lines;
}

int error_line_detail(const char* line) noexcept
{
    return line == DETAIL_TEXT ? 1 : line == DETAIL_NUMBER ? 2 : 0;
}

int print_error(OutputWriter* out, ErrorBlock block, const char* detail_text, std::int32_t detail_number) noexcept
{
    for (const char* const* line = error_block_lines(block); *line != nullptr; ++line) {
        if (*line == DETAIL_TEXT) {
            output_text(out, detail_text);
        } else if (*line == DETAIL_NUMBER) {
            output_int(out, detail_number);
        } else {
            output_text(out, *line);
        }
    }
    return 1;
}
