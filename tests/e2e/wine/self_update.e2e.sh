#!/usr/bin/env bash
# Under Wine, the launcher updating itself: version 3's .exe in the game folder, the next version offered by a signed
# document. The new build runs in the game folder under the program's name, and the next start is version 4 with
# nothing left beside it. Then a new build that ends at once: version 3 stays in place and reaches the version box.
source "$(dirname "$0")/winelib.sh"
source "$SRC/tests/e2e/update.sh"
update_scenario
source "$SRC/tests/e2e/update_taken.sh"

# 2. A new build that ends at once: the game's stand-in, which ends when it has no record to write.
cp "$GAME_STANDIN" "$WORK/ends-at-once"
check_trial_fails ends-at-once "ended before it showed itself"
