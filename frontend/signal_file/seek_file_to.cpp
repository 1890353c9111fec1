#include "signal_file/seek_file_to.h"

#if defined(_WIN32)
#define OMBREL_FSEEK(file, offset, whence) _fseeki64(file, offset, whence)
#else
#include <sys/types.h>
#define OMBREL_FSEEK(file, offset, whence) fseeko(file, static_cast<off_t>(offset), whence)
#endif

bool seek_file_to(std::FILE* file, std::int64_t offset) noexcept
{
    return OMBREL_FSEEK(file, offset, SEEK_SET) == 0;
}

bool seek_file_to_end(std::FILE* file) noexcept
{
    return OMBREL_FSEEK(file, 0, SEEK_END) == 0;
}
