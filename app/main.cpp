// The launcher program: the main sequence is all it runs.
#include "app/MainSequence.hpp"
#include "app/SigningKeys.hpp"
#include "platform/ProcessEnd.hpp"

int main(int argc, char** argv) {
    platform::EndProcess(launcherMain(argc, argv, LauncherVersion, builtInSigningKeys()));
}
