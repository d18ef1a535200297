// The part of StartedProgram every backend shares: ownership, and the watch that stops at the program's end.
#include "platform/RunningProgram.hpp"

namespace platform {

StartedProgram::StartedProgram(std::unique_ptr<Handle, HandleDeleter> handle) : m_handle(std::move(handle)) {}
StartedProgram::StartedProgram(StartedProgram&&) noexcept = default;
StartedProgram& StartedProgram::operator=(StartedProgram&&) noexcept = default;
StartedProgram::~StartedProgram() = default;

bool StartedProgram::running() {
    if (!m_ended)
        m_ended = hasEnded();
    return !m_ended;
}

void StartedProgram::terminate() {
    if (m_ended)
        return;
    kill();
    m_ended = true;
}

} // namespace platform
