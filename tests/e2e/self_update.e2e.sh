#!/usr/bin/env bash
# The launcher updating itself: version 3 in the game folder, the next version offered by a signed document. The new
# build runs in the game folder in the old one's place, and the next start is version 4 with nothing left beside it.
# Then a new build that ends at once (one that never shows itself is self_update_hang, offers not taken are
# self_update_refused): version 3 stays in place and reaches the version box.
source "$(dirname "$0")/lib.sh"
source "$SRC/tests/e2e/update.sh"
update_scenario
source "$SRC/tests/e2e/update_taken.sh"

# 2. A new build that ends at once: the old one shows the version box; the download stays for the next start.
printf '#!/bin/sh\nexit 3\n' >"$WORK/ends-at-once"
check_trial_fails ends-at-once "ended before it showed itself"
