#!/usr/bin/env bash
# The update cut off at each point where it leaves something on disk, as a kill or a power cut would leave it: a kill
# during the download, and a stop after each later step of the old build and of the new one. Every time a whole
# launcher carries the program's name, and the next start ends in version 4's window.
source "$(dirname "$0")/lib.sh"
source "$SRC/tests/e2e/update.sh"
# Slowed, so that the download can be killed halfway.
update_scenario 4096
source "$SRC/tests/e2e/update_interrupted.sh"
