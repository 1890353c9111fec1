#include "input_file.h"

#include <sys/stat.h>

#ifdef _WIN32
// long has 32 bits on Windows: seek and tell in 64 bits there, as on Linux,
// so that a file of 2 GiB or more is not taken for one that cannot be opened.
#define OMBREL_FSEEK _fseeki64
#define OMBREL_FTELL _ftelli64
#else
#define OMBREL_FSEEK std::fseek
#define OMBREL_FTELL std::ftell
#endif

std::FILE* open_input_file(const char* path, bool* empty) noexcept
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return nullptr;
    }
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode) || OMBREL_FSEEK(file, 0, SEEK_END) != 0) {
        std::fclose(file);
        return nullptr;
    }
    const auto end = OMBREL_FTELL(file);
    if (end < 0 || OMBREL_FSEEK(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return nullptr;
    }
    *empty = end == 0;
    return file;
}
