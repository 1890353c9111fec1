// Builds knowledge images for tests: arrays in, the file's float sequence out.
#ifndef OMBREL_TEST_KNOWLEDGE_BUILDER_H
#define OMBREL_TEST_KNOWLEDGE_BUILDER_H

#include <cstdint>
#include <cstdio>
#include <vector>

struct TestNetwork {
    int units = 0;
    float stored_unit_count = 0.0f;    // written as is: may differ from `units`
    std::vector<float> means;          // 64
    std::vector<float> scales;         // 64
    std::vector<float> hidden_weights; // 64 * units, input-major: [i * units + j]
    std::vector<float> hidden_biases;  // units
    std::vector<float> output_weights; // 4 * units, unit-major: [j * 4 + k]
    std::vector<float> output_biases;  // 4
    std::vector<float> configuration;  // 19
};

// Means 0, scales 1, every weight and bias 0, the expected configuration.
TestNetwork plain_network(int units);

// Random weights in [-1, 1] and biases, from a fixed seed.
TestNetwork random_network(int units, std::uint32_t seed);

// The knowledge's floats in file order.
std::vector<float> knowledge_image(const TestNetwork& network);

// A temporary binary file holding `bytes`, positioned at its start.
std::FILE* temporary_file(const std::vector<unsigned char>& bytes);
std::vector<unsigned char> image_bytes(const std::vector<float>& image);

#endif
