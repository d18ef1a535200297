#!/usr/bin/env bash
# Under Wine, the update cut off in the old launcher right after it started the new one: the new one goes on alone,
# shows itself and takes the program's name, and the next start ends in version 4's window.
source "$(dirname "$0")/winelib.sh"
source "$SRC/tests/e2e/update.sh"
update_scenario
source "$SRC/tests/e2e/update_orphaned.sh"
