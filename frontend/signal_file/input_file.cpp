#include "signal_file/input_file.h"

#include "signal_file/seek_file_to.h"

#include <sys/stat.h>

#if defined(_WIN32)
#define OMBREL_FTELL _ftelli64
#else
#include <fcntl.h>
#include <unistd.h>
#define OMBREL_FTELL ftello
#endif

std::FILE* open_regular_file(const char* path) noexcept
{
#if defined(_WIN32)
    std::FILE* file = std::fopen(path, "rb");
    struct _stat64 info;
    if (file != nullptr && (_fstat64(_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
#else
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer. It changes nothing for a regular file, the only kind kept.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info;
    std::FILE* file = nullptr;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        file = fdopen(fd, "rb");
    }
    if (file == nullptr) {
        close(fd);
    }
    return file;
#endif
}

std::FILE* open_input_file(const char* path, std::uint64_t* size) noexcept
{
    std::FILE* file = open_regular_file(path);
    if (file == nullptr) {
        return nullptr;
    }
    // Seeking the end, not the status's size: a file whose end cannot be
    // sought cannot be read as a file either.
    if (!seek_file_to_end(file)) {
        std::fclose(file);
        return nullptr;
    }
    const auto end = OMBREL_FTELL(file);
    if (end < 0 || !seek_file_to(file, 0)) {
        std::fclose(file);
        return nullptr;
    }
    *size = static_cast<std::uint64_t>(end);
    return file;
}
