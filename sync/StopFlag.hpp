// The flag that tells long-running work (retries, transfers) to give up because the launcher is closing.
#pragma once

#include <atomic>

using StopFlag = std::atomic<bool>;
