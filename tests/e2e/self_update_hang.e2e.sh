#!/usr/bin/env bash
# A new build that never shows itself: the old launcher waits out its patience, ends it, and shows the version box;
# version 3 stays in place and reaches the version box when started again.
source "$(dirname "$0")/lib.sh"
source "$SRC/tests/e2e/update.sh"
update_scenario
printf '#!/bin/sh\nexec sleep 600\n' >"$WORK/never-shows"
check_trial_fails never-shows "did not show itself within $TRIAL_PATIENCE s and was ended"
