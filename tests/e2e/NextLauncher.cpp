// The launcher as its next version: the same program in every other way, the stand-in for a newer build that the
// update scenarios serve to the launcher under test.
#include "app/MainSequence.hpp"
#include "app/SigningKeys.hpp"

int main(int argc, char** argv) {
    return launcherMain(argc, argv, LauncherVersion + 1, builtInSigningKeys());
}
