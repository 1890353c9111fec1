#include "support/knowledge_builder.h"

#include "classifier.h"

#include <cstring>
#include <random>

TestNetwork plain_network(int units)
{
    TestNetwork n;
    n.units = units;
    n.stored_unit_count = static_cast<float>(units);
    n.means.assign(INPUT_LENGTH, 0.0f);
    n.scales.assign(INPUT_LENGTH, 1.0f);
    n.hidden_weights.assign(static_cast<std::size_t>(64 * units), 0.0f);
    n.hidden_biases.assign(static_cast<std::size_t>(units), 0.0f);
    n.output_weights.assign(static_cast<std::size_t>(4 * units), 0.0f);
    n.output_biases.assign(4, 0.0f);
    n.configuration.assign(EXPECTED_CONFIGURATION, EXPECTED_CONFIGURATION + CONFIGURATION_LENGTH);
    return n;
}

TestNetwork random_network(int units, std::uint32_t seed)
{
    TestNetwork n = plain_network(units);
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (float& v : n.means) v = 10.0f * unit(generator);
    for (float& v : n.scales) v = 0.1f * unit(generator);
    for (float& v : n.hidden_weights) v = unit(generator);
    for (float& v : n.hidden_biases) v = unit(generator);
    for (float& v : n.output_weights) v = unit(generator);
    for (float& v : n.output_biases) v = unit(generator);
    return n;
}

std::vector<float> knowledge_image(const TestNetwork& n)
{
    std::vector<float> image;
    auto append = [&image](const std::vector<float>& part) { image.insert(image.end(), part.begin(), part.end()); };
    append(n.means);
    append(n.scales);
    image.push_back(n.stored_unit_count);
    append(n.hidden_weights);
    append(n.hidden_biases);
    append(n.output_weights);
    append(n.output_biases);
    append(n.configuration);
    return image;
}

std::vector<unsigned char> image_bytes(const std::vector<float>& image)
{
    std::vector<unsigned char> bytes(image.size() * sizeof(float));
    if (!image.empty()) {
        std::memcpy(bytes.data(), image.data(), bytes.size());
    }
    return bytes;
}

std::FILE* temporary_file(const std::vector<unsigned char>& bytes)
{
    std::FILE* file = std::tmpfile();
    if (file != nullptr) {
        if (!bytes.empty()) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
        }
        std::rewind(file);
    }
    return file;
}
