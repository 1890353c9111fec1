// The floor of signal-file reading: the least work any exact reader must do.
// Reads the file in large blocks and converts every value with
// std::from_chars, skipping one separator after each (a comma, a space or a
// line feed, so that it reads every file of the benchmark); prints the count
// and a checksum so that nothing can be optimised away.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: parse_floor FILE\n", stderr);
        return 2;
    }
    std::FILE* file = std::fopen(argv[1], "rb");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 2;
    }
    constexpr std::size_t BLOCK = 1 << 20;
    std::vector<char> buffer(BLOCK + 64);
    std::size_t kept = 0;
    unsigned long long values = 0;
    double checksum = 0.0;
    for (;;) {
        const std::size_t got = std::fread(buffer.data() + kept, 1, BLOCK - kept, file);
        const std::size_t end = kept + got;
        const bool last = got == 0;
        const char* p = buffer.data();
        const char* limit = buffer.data() + end;
        for (;;) {
            while (p < limit && (*p == '\n' || *p == '\r' || *p == ' ')) {
                ++p;
            }
            // Keep an unfinished value for the next block.
            const char* stop = p;
            while (stop < limit && *stop != ',' && *stop != '\n' && *stop != ' ') {
                ++stop;
            }
            if (stop == limit && !last) {
                break;
            }
            if (p == limit) {
                break;
            }
            float v = 0.0f;
            std::from_chars(p, stop, v);
            checksum += static_cast<double>(v);
            ++values;
            p = stop < limit ? stop + 1 : stop;
        }
        kept = static_cast<std::size_t>(limit - p);
        std::memmove(buffer.data(), p, kept);
        if (last) {
            break;
        }
    }
    std::fclose(file);
    std::printf("%llu values, checksum %.6f\n", values, checksum);
    return 0;
}
