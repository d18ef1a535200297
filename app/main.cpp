// The launcher program: the main sequence is all it runs.
#include "app/MainSequence.hpp"
#include "app/SigningKeys.hpp"

int main(int argc, char** argv) {
    return launcherMain(argc, argv, LauncherVersion, builtInSigningKeys());
}
