// The launcher program: the main sequence is all it runs.
#include "app/MainSequence.hpp"

#include <cstdio>

int main() {
    // Diagnostic lines go out whole as they happen, also into a file or a pipe, and are not lost if the process is
    // ended.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return runLauncher();
}
