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

void DownloadTally::begin(std::optional<std::uint64_t> listedSize) {
    ++m_progress.fileNumber;
    // A file nobody expected (a check that could not run ahead) still counts as one of m.
    if (m_progress.fileNumber > m_progress.fileCount)
        expect(listedSize);
    m_progress.active = true;
    m_listedSize = listedSize;
    m_totalAdded = 0;
    m_lastDone.reset();
    m_progress.bytesDone = m_completedBytes;
}

void DownloadTally::update(std::uint64_t done, std::uint64_t total) {
    if (!m_progress.active)
        return;
    // Without a listed size the total grows by the server's word; a file that changed on the server corrects it.
    if (!m_listedSize && total != m_totalAdded) {
        m_progress.bytesTotal = m_progress.bytesTotal - m_totalAdded + total;
        m_totalAdded = total;
    }
    if (m_lastDone && done >= *m_lastDone)
        m_progress.bytesReceived += done - *m_lastDone;
    m_lastDone = done;
    m_progress.bytesDone = m_completedBytes + done;
}

void DownloadTally::end(bool complete) {
    if (!m_progress.active)
        return;
    if (complete)
        m_completedBytes += m_lastDone.value_or(m_listedSize.value_or(0));
    m_progress.bytesDone = m_completedBytes;
    m_lastDone.reset();
    // Hidden once every file known to need a download is in; one found later shows it again.
    m_progress.active = m_progress.fileNumber < m_progress.fileCount;
}
