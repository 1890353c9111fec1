// The guidance, usage and reference lines that the error blocks share.
#ifndef OMBREL_MESSAGES_H
#define OMBREL_MESSAGES_H

extern const char* const MESSAGE_G1;
extern const char* const MESSAGE_G2;
extern const char* const MESSAGE_G3;
extern const char* const MESSAGE_G4;
extern const char* const MESSAGE_G5;
extern const char* const MESSAGE_G6;
extern const char* const MESSAGE_G7;
extern const char* const MESSAGE_U1;
extern const char* const MESSAGE_U2;
extern const char* const MESSAGE_U3;
extern const char* const MESSAGE_R1;
extern const char* const MESSAGE_R2;
extern const char* const MESSAGE_DOC;

// Writes each line in order; the list ends with a null pointer.
void print_lines(const char* const* lines) noexcept;

#endif
