// The launcher program: the main sequence is all it runs.
#include "app/MainSequence.hpp"

int main(int argc, char** argv) {
    return launcherMain(argc, argv, LauncherVersion);
}
