// The compiled-in tables that the public header declares.
#include "classifier.h"

extern "C" {

const char LIBRARY_ID[25] = "4f1c09e7a2b65d38c0e94a17";

const char* const CLASS_NAME_TABLE[CLASS_COUNT + 1] = {
    "unknown", "Scissors", "Rock", "Paper", "NoSign",
};

// Every value is a whole number, exact in single precision.
const float EXPECTED_CONFIGURATION[CONFIGURATION_LENGTH] = {
    4.0f, 1.0f, 64.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f, 100.0f, 0.0f,
    0.0f, 4.0f, 0.0f, 0.0f, 0.0f, 1000000.0f, 1.0f, 1.0f, 22.0f,
};

}
