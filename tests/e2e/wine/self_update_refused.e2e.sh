#!/usr/bin/env bash
# Under Wine, offers the launcher does not take: a lower version, a wrong SHA-256, the offer unsigned, and the release
# .exe built without a key. Each leaves the old program in the game folder, which reaches its window or its box.
source "$(dirname "$0")/winelib.sh"
source "$SRC/tests/e2e/update.sh"
update_scenario
source "$SRC/tests/e2e/update_refused.sh"
