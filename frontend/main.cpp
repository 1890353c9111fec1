#include "dispatch.h"
#include "output_writer.h"

#include <csignal>
#include <cstdio>

int main(int argc, char** argv)
{
#ifdef SIGPIPE
    // A closed pipe must show as a failed write (exit status 1), not kill the process.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    OutputWriter out;
    output_start(&out, stdout);
    int status = emulator_main(argc, argv, &out);
    if (!output_finish(&out)) {
        std::fputs("ombrel_emulator: could not write the report to standard output\n", stderr);
        status = 1;
    }
    return status;
}
