// The whole program in process: a command line built from the input, over a
// knowledge file and a signal file written from the input.
//
// Input layout (see make_seeds.py), three sections split by SEPARATOR:
//   control: byte 0 picks the shape of the command line and the signal path,
//            byte 1 the knowledge, the rest is words split on byte 1 (\x01);
//   knowledge: raw file bytes, or patches (2-byte index, 4-byte float) to a
//            generated knowledge that the library accepts;
//   signals: the signal file's bytes.
// Checked beyond the sanitizers: the exit status is 0 or 1, the output
// never fails, and a run leaves no file open. A signal-file command runs
// twice, on the sequential pass and on the threaded one with blocks of a
// size taken from the input, and both give the same output and status.
#include "dispatch.h"
#include "output_writer.h"

#include "classifier.h"

#include <unistd.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char SEPARATOR[] = "\x00\xfe\xfd\x00";
constexpr std::size_t SEPARATOR_LENGTH = 4;
constexpr std::size_t MOST_WORDS = 80;

std::string directory;
std::string knowledge_path;
std::string signal_path;
std::string output_path;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_command_line: %s\n", what);
    std::abort();
}

void write_file(const std::string& path, const std::uint8_t* bytes, std::size_t length)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes, 1, length, file) != length) {
        fail("cannot write a temporary file");
    }
    std::fclose(file);
}

// Splits [begin, end) at the first SEPARATOR; returns the end of the part.
const std::uint8_t* split(const std::uint8_t* begin, const std::uint8_t* end, const std::uint8_t** rest)
{
    for (const std::uint8_t* p = begin; p + SEPARATOR_LENGTH <= end; ++p) {
        if (std::memcmp(p, SEPARATOR, SEPARATOR_LENGTH) == 0) {
            *rest = p + SEPARATOR_LENGTH;
            return p;
        }
    }
    *rest = end;
    return end;
}

// A knowledge the library accepts: N units, small weights that vary with
// their position, then the patches of the section.
std::vector<std::uint8_t> generated_knowledge(int units, const std::uint8_t* patches, std::size_t length)
{
    const std::size_t count = 152 + 69 * static_cast<std::size_t>(units);
    std::vector<float> floats(count, 0.0f);
    for (std::size_t i = 0; i < 64; ++i) {
        floats[i] = 0.5f;
        floats[64 + i] = 1.0f + static_cast<float>(i % 5) * 0.25f;
    }
    floats[128] = static_cast<float>(units);
    for (std::size_t i = 129; i < count - CONFIGURATION_LENGTH; ++i) {
        floats[i] = static_cast<float>(static_cast<int>((i * 37) % 19) - 9) * 0.03125f;
    }
    std::memcpy(&floats[count - CONFIGURATION_LENGTH], EXPECTED_CONFIGURATION, sizeof EXPECTED_CONFIGURATION);
    for (std::size_t p = 0; p + 6 <= length; p += 6) {
        const std::size_t index = (static_cast<std::size_t>(patches[p]) | static_cast<std::size_t>(patches[p + 1]) << 8) % count;
        std::memcpy(&floats[index], patches + p + 2, sizeof(float));
    }
    std::vector<std::uint8_t> bytes(count * sizeof(float));
    std::memcpy(bytes.data(), floats.data(), bytes.size());
    return bytes;
}

// The lowest free descriptor: a file left open by a run takes it.
int lowest_free_descriptor()
{
    const int probe = dup(0);
    if (probe < 0) {
        fail("cannot duplicate a descriptor");
    }
    close(probe);
    return probe;
}

struct RunOutput {
    int status;
    std::string bytes;
};

// One run of the program with the signal pass's settings, its standard
// output captured.
RunOutput run_once(int argc, const char* const* argv, const char* threads, const char* block_bytes)
{
    if (threads != nullptr) {
        setenv("OMBREL_THREADS", threads, 1);
    }
    if (block_bytes != nullptr) {
        setenv("OMBREL_TEST_BLOCK_BYTES", block_bytes, 1);
    } else {
        unsetenv("OMBREL_TEST_BLOCK_BYTES");
    }
    std::fflush(stdout);
    if (ftruncate(fileno(stdout), 0) != 0) {
        fail("cannot empty the output file");
    }
    std::rewind(stdout);
    const int free_before = lowest_free_descriptor();
    static OutputWriter out;
    output_start(&out, stdout);
    RunOutput run{emulator_main(argc, argv, &out), {}};
    if (run.status != 0 && run.status != 1) {
        fail("exit status other than 0 and 1");
    }
    if (!output_finish(&out)) {
        fail("writing the output failed");
    }
    if (lowest_free_descriptor() != free_before) {
        fail("a run left a file open");
    }
    std::fflush(stdout);
    const long length = std::ftell(stdout);
    run.bytes.resize(static_cast<std::size_t>(length));
    if (length > 0 && pread(fileno(stdout), run.bytes.data(), run.bytes.size(), 0) != length) {
        fail("cannot read the output back");
    }
    return run;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* base = std::getenv("TMPDIR");
    struct stat info;
    if (base == nullptr || stat(base, &info) != 0) {
        base = stat("/dev/shm", &info) == 0 ? "/dev/shm" : "/tmp";
    }
    directory = std::string(base) + "/ombrel-fuzz-" + std::to_string(getpid());
    if (mkdir(directory.c_str(), 0700) != 0) {
        fail("cannot make the temporary directory");
    }
    knowledge_path = directory + "/knowledge.bin";
    signal_path = directory + "/signals.txt";
    output_path = directory + "/output.txt";
    if (std::freopen(output_path.c_str(), "w+b", stdout) == nullptr) {
        fail("cannot send standard output to a temporary file");
    }
    std::atexit([] {
        unlink(knowledge_path.c_str());
        unlink(signal_path.c_str());
        unlink(output_path.c_str());
        rmdir(directory.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::uint8_t* end = data + size;
    const std::uint8_t* rest = nullptr;
    const std::uint8_t* control_end = split(data, end, &rest);
    const std::uint8_t* knowledge = rest;
    const std::uint8_t* knowledge_end = split(knowledge, end, &rest);
    const std::uint8_t* signals = rest;

    const std::size_t control_length = static_cast<std::size_t>(control_end - data);
    const unsigned shape = control_length > 0 ? data[0] : 0;
    const unsigned knowledge_kind = control_length > 1 ? data[1] : 0;
    std::vector<std::string> words;
    if (control_length > 2) {
        const char* p = reinterpret_cast<const char*>(data + 2);
        const char* control_stop = reinterpret_cast<const char*>(control_end);
        while (words.size() < MOST_WORDS) {
            const char* q = static_cast<const char*>(std::memchr(p, '\x01', static_cast<std::size_t>(control_stop - p)));
            // A word ends at its first NUL, as a command-line word would.
            words.emplace_back(p, q == nullptr ? control_stop : q);
            words.back().resize(std::strlen(words.back().c_str()));
            if (q == nullptr) {
                break;
            }
            p = q + 1;
        }
    }
    auto word = [&words](std::size_t i) -> std::string { return i < words.size() ? words[i] : std::string("1"); };

    // Knowledge: kind % 32 below 24 generates one with that many units.
    const std::size_t knowledge_length = static_cast<std::size_t>(knowledge_end - knowledge);
    if (knowledge_kind % 32 < 24) {
        const std::vector<std::uint8_t> bytes = generated_knowledge(static_cast<int>(knowledge_kind % 32), knowledge, knowledge_length);
        write_file(knowledge_path, bytes.data(), bytes.size());
    } else {
        write_file(knowledge_path, knowledge, knowledge_length);
    }
    write_file(signal_path, signals, static_cast<std::size_t>(end - signals));
    const std::string knowledge_word = knowledge_kind >= 0xf8 ? directory : knowledge_path;
    const std::string signal_word = (shape & 0x80) != 0 ? directory : (shape & 0x40) != 0 ? directory + "/absent" : signal_path;

    std::vector<std::string> args = {"ombrel_emulator"};
    const std::vector<std::string> head = {"ombr_classification", "--knowledge_path", knowledge_word};
    switch (shape % 8) {
    case 0: // one signal on the command line
        args.insert(args.end(), head.begin(), head.end());
        args.push_back("--array");
        args.insert(args.end(), words.begin(), words.end());
        break;
    case 1: // the whole file
        args.insert(args.end(), head.begin(), head.end());
        args.insert(args.end(), {"--file", signal_word});
        break;
    case 2:
        args.insert(args.end(), head.begin(), head.end());
        args.insert(args.end(), {"--file", signal_word, "--begin", word(0), "--end", word(1)});
        break;
    case 3:
        args.insert(args.end(), head.begin(), head.end());
        args.insert(args.end(), {"--file", signal_word, "--end", word(0), "--begin", word(1)});
        break;
    case 4: { // option words of any kind, the two options among them
        const std::string options[] = {"--begin", "--end", word(2), word(3)};
        args.insert(args.end(), head.begin(), head.end());
        args.insert(args.end(), {"--file", signal_word, options[(shape >> 3) % 4], word(0),
                                 options[(shape >> 5) % 2 == 0 ? 1 : 0], word(1)});
        break;
    }
    case 5: // any number of words after --file
        args.insert(args.end(), head.begin(), head.end());
        args.push_back("--file");
        args.push_back(signal_word);
        args.insert(args.end(), words.begin(), words.begin() + static_cast<std::ptrdiff_t>(words.size() % 8));
        break;
    case 6: // the information command, with or without further words
        args.push_back("ombr_get_info");
        args.insert(args.end(), words.begin(), words.begin() + static_cast<std::ptrdiff_t>(words.size() % 2));
        break;
    default: // any words: a command word, then the paths and the rest
        args.insert(args.end(), words.begin(), words.end());
        if ((shape & 0x08) != 0) {
            args.insert(args.end(), {knowledge_word, signal_word});
        }
        break;
    }
    std::vector<const char*> argv;
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    argv.push_back(nullptr);

    const int argc = static_cast<int>(args.size());
    const bool signal_file = shape % 8 >= 1 && shape % 8 <= 5;
    const RunOutput sequential = run_once(argc, argv.data(), signal_file ? "1" : nullptr, nullptr);
    if (signal_file) {
        const std::string block = std::to_string(1 + (control_length > 2 ? data[2] % 64 : 0));
        const RunOutput threaded = run_once(argc, argv.data(), (shape & 0x10) != 0 ? "3" : "2", block.c_str());
        if (threaded.status != sequential.status || threaded.bytes != sequential.bytes) {
            fail("the threaded signal pass differs from the sequential one");
        }
    }
    return 0;
}
