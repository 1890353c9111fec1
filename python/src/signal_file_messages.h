// The command's signal-file failure lines, as its file mode prints them; the
// documentation reference lines that close some of its blocks are left out.
#pragma once

inline constexpr const char* SIGNAL_FILE_NOT_OPENED = "Error: could not open file !\n";
inline constexpr const char* SIGNAL_FILE_CHECK_PATH = "Check path of file and/or name of file is correct.\n";
inline constexpr const char* SIGNAL_FILE_EMPTY = "Error: file is empty !\n";
inline constexpr const char* SIGNAL_FILE_BAD_BEGIN =
    "Error: argument --begin is not correct !\nBegin line number must be > 0\n";
inline constexpr const char* SIGNAL_FILE_BAD_END = "Error: argument --end is not correct !\nEnd line number must be > 0\n";
inline constexpr const char* SIGNAL_FILE_BAD_WINDOW =
    "Error: arguments --begin and --end are not compatible !\nEnd line number must be >= to begin line number\n";
inline constexpr const char* SIGNAL_FILE_END_PAST_LINES =
    "Error: argument --end is not compatible with the number of lines in file !\n";
// Each of these two is followed by the path and " !\n", then by the
// please-check line, the path and ".\n".
inline constexpr const char* SIGNAL_FILE_TOO_FEW_VALUES = "Error: incompatibility between required and number of data in file ";
inline constexpr const char* SIGNAL_FILE_NOT_READ = "Error in reading file ";
inline constexpr const char* SIGNAL_FILE_PLEASE_CHECK = "Please check your file ";
