// Knowledge files of any content through the two passes, the knowledge check
// and, when it accepts, the classification of a few signals.
//
// Checked beyond the sanitizers:
//   - the sizing pass announces 0 or 152 + 69*N floats with N in 0..23, and
//     never a count for a file that ends before its unit count;
//   - the load pass copies the file's whole floats and leaves the rest zero;
//   - classifier_init gives 0 exactly when the configuration block at the
//     position N fixes holds the expected values, 125 otherwise (never 129);
//   - classifier_run returns that status, classifies only at 0, gives a class
//     id of 1 to 4 that names the first highest probability, is deterministic,
//     and turns a NaN input into four NaN probabilities and class 1 (N >= 1).
#include "classifier.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_knowledge: %s\n", what);
    std::abort();
}

void check(bool condition, const char* what)
{
    if (!condition) {
        fail(what);
    }
}

bool same_bits(const float* a, const float* b, int count)
{
    return std::memcmp(a, b, sizeof(float) * static_cast<std::size_t>(count)) == 0;
}

// Classifies `input` twice and checks what either result must satisfy.
void classify(const float* input, LibraryStatus status, int units)
{
    float first[CLASS_COUNT];
    float second[CLASS_COUNT];
    std::uint16_t first_id = 0xffff;
    std::uint16_t second_id = 0xfffe;
    for (int k = 0; k < CLASS_COUNT; ++k) {
        first[k] = 7.0f;
        second[k] = -3.0f; // a different start must not change the result
    }
    const LibraryStatus got = classifier_run(input, first, &first_id);
    check(got == status, "classifier_run returned another status than classifier_init");
    if (status != STATUS_OK) {
        check(first_id == 0xffff && first[0] == 7.0f && first[3] == 7.0f,
              "a refused classification wrote its outputs");
        return;
    }
    check(first_id >= 1 && first_id <= CLASS_COUNT, "class id out of 1..4");
    int winner = 0;
    for (int k = 1; k < CLASS_COUNT; ++k) {
        if (first[k] > first[winner]) {
            winner = k;
        }
    }
    check(first_id == winner + 1, "class id is not the first highest probability");

    (void)classifier_run(input, second, &second_id);
    check(second_id == first_id && same_bits(first, second, CLASS_COUNT),
          "the same signal classified twice gave different results");

    bool has_nan = false;
    for (int i = 0; i < INPUT_LENGTH; ++i) {
        has_nan = has_nan || std::isnan(input[i]);
    }
    if (has_nan && units >= 1) {
        for (int k = 0; k < CLASS_COUNT; ++k) {
            check(std::isnan(first[k]), "a NaN input gave a number as probability");
        }
        check(first_id == 1, "a NaN input did not give class 1");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (file == nullptr) {
        return 0;
    }
    const std::int32_t count = knowledge_size(file);
    check(count == 0 || (count >= 152 && count <= 152 + 69 * HIDDEN_CAPACITY && (count - 152) % 69 == 0),
          "knowledge_size announced an impossible float count");
    check(count == 0 || size >= 129 * 4, "knowledge_size sized a file that ends before its unit count");
    if (count == 0) {
        std::fclose(file);
        return 0;
    }
    check(std::ftell(file) == 129 * 4, "knowledge_size left the stream elsewhere than after the unit count");

    // Exactly `count` floats on the heap, so that a read past the knowledge
    // is an address-sanitizer report.
    float* knowledge = static_cast<float*>(std::calloc(static_cast<std::size_t>(count), sizeof(float)));
    if (knowledge == nullptr) {
        std::fclose(file);
        return 0;
    }
    std::rewind(file);
    knowledge_load(file, knowledge, count);
    std::fclose(file);

    const std::size_t whole = size / 4 < static_cast<std::size_t>(count) ? size / 4 : static_cast<std::size_t>(count);
    check(std::memcmp(knowledge, data, whole * 4) == 0, "knowledge_load did not copy the file's floats");
    for (std::size_t i = whole; i < static_cast<std::size_t>(count); ++i) {
        check(knowledge[i] == 0.0f && !std::signbit(knowledge[i]), "knowledge_load wrote past the file's whole floats");
    }

    const int units = (count - 152) / 69;
    const float* configuration = knowledge + 133 + 69 * units;
    bool matches = true;
    for (int i = 0; i < CONFIGURATION_LENGTH; ++i) {
        matches = matches && configuration[i] == EXPECTED_CONFIGURATION[i];
    }
    const LibraryStatus status = classifier_init(knowledge);
    check(status == (matches ? STATUS_OK : STATUS_KNOWLEDGE_MISMATCH), "classifier_init gave the wrong status");

    // Signals: zeros; the file's first floats (any values, NaN and infinities
    // included); the same with a NaN and with both infinities put in.
    float signal[INPUT_LENGTH] = {};
    classify(signal, status, units);
    std::memcpy(signal, knowledge, sizeof signal);
    classify(signal, status, units);
    const std::size_t slot = size % INPUT_LENGTH;
    signal[slot] = std::numeric_limits<float>::infinity();
    signal[(slot + 1) % INPUT_LENGTH] = -std::numeric_limits<float>::infinity();
    classify(signal, status, units);
    signal[(slot + 2) % INPUT_LENGTH] = std::numeric_limits<float>::quiet_NaN();
    classify(signal, status, units);
    for (int i = 0; i < INPUT_LENGTH; ++i) {
        signal[i] = std::numeric_limits<float>::max() * static_cast<float>(i % 2 == 0 ? 1 : -1);
    }
    classify(signal, status, units);

    std::free(knowledge);
    return 0;
}
