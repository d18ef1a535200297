// Background work below the window: the threads that hash and download yield the processor to the window's thread,
// so that a first start on every core still leaves the window its frames and its clicks.
#pragma once

namespace platform {

/// The environment setting that keeps the workers at the window's priority, for measuring what lowering them
/// costs (value "normal").
inline constexpr const char* workerPriorityVariable = "VARNHOLD_WORKER_PRIORITY";

/// Puts the calling thread below the program's main thread: on Linux ten nice steps above the main thread's
/// value (at most 19), on Windows `THREAD_PRIORITY_BELOW_NORMAL`. Call it first thing in each worker thread: the
/// same value whatever the thread inherited, so a worker started by a worker ends no lower. False when the system
/// refused it or the environment setting asks for "normal"; the thread then keeps its priority.
bool LowerThreadPriority();

namespace detail {
/// The backend's part of LowerThreadPriority, without the environment setting.
bool LowerCallingThread();
} // namespace detail

} // namespace platform
