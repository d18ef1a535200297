// The tally of a run's downloads. Speed is measured on the bytes that arrived, not on `done`: a resumed file
// reports its partial part at once, which came from the disk, not over the network.
#include "sync/DownloadProgress.hpp"

void DownloadTally::expect(std::optional<std::uint64_t> listedSize) {
    ++m_progress.fileCount;
    if (listedSize)
        m_progress.bytesTotal += *listedSize;
    else
        m_progress.totalKnown = false;
}

void DownloadTally::begin(std::optional<std::uint64_t> listedSize, std::size_t transfer) {
    ++m_progress.fileNumber;
    // A file nobody expected (a check that could not run ahead) still counts as one of m.
    if (m_progress.fileNumber > m_progress.fileCount)
        expect(listedSize);
    m_running[transfer] = Running{listedSize, 0, std::nullopt};
    refresh();
}

void DownloadTally::update(std::uint64_t done, std::uint64_t total, std::size_t transfer) {
    const auto found = m_running.find(transfer);
    if (found == m_running.end())
        return;
    Running& running = found->second;
    // Without a listed size the total grows by the server's word; a file that changed on the server corrects it.
    if (!running.listedSize && total != running.totalAdded) {
        m_progress.bytesTotal = m_progress.bytesTotal - running.totalAdded + total;
        running.totalAdded = total;
    }
    if (running.lastDone && done >= *running.lastDone)
        m_progress.bytesReceived += done - *running.lastDone;
    running.lastDone = done;
    refresh();
}

void DownloadTally::end(bool complete, std::size_t transfer) {
    const auto found = m_running.find(transfer);
    if (found == m_running.end())
        return;
    const Running& running = found->second;
    if (complete)
        m_completedBytes += running.lastDone.value_or(running.listedSize.value_or(0));
    m_running.erase(found);
    refresh();
}

void DownloadTally::refresh() {
    std::uint64_t done = m_completedBytes;
    for (const auto& [transfer, running] : m_running)
        done += running.lastDone.value_or(0);
    m_progress.bytesDone = done;
    // Hidden once every file known to need a download is in; one found later shows it again.
    m_progress.active = !m_running.empty() || m_progress.fileNumber < m_progress.fileCount;
}
