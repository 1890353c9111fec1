// classify_cpp KNOWLEDGE V1 ... V64: the C program's contract, from C++,
// through a caller-owned context.
#include <ombrel/classifier_context.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2 + INPUT_LENGTH) {
        std::fprintf(stderr, "usage: %s KNOWLEDGE V1 ... V%d\n", argv[0], INPUT_LENGTH);
        return 1;
    }
    std::array<float, INPUT_LENGTH> input{};
    for (int i = 0; i < INPUT_LENGTH; ++i) {
        input[static_cast<std::size_t>(i)] = std::strtof(argv[2 + i], nullptr);
    }
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(argv[1], "rb"), &std::fclose);
    if (!file) {
        return 1;
    }
    const int32_t count = knowledge_size(file.get());
    if (count <= 0) {
        return 1;
    }
    std::vector<float> knowledge(static_cast<std::size_t>(count), 0.0f);
    std::rewind(file.get());
    knowledge_load(file.get(), knowledge.data(), count);

    ClassifierContext context{};
    std::array<float, CLASS_COUNT> probabilities{};
    uint16_t class_id = 0;
    if (classifier_context_init(&context, knowledge.data(), count) != STATUS_OK ||
        classifier_context_run(&context, input.data(), probabilities.data(), &class_id) != STATUS_OK) {
        return 1;
    }
    std::printf("%u %s", static_cast<unsigned>(class_id), CLASS_NAME_TABLE[class_id]);
    for (const float p : probabilities) {
        std::printf(" %.2f", static_cast<double>(p));
    }
    std::printf("\n");
    return 0;
}
