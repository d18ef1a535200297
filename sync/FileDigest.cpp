// MD5 and SHA-256 over the same bytes, so a file is read once whichever the list asks for.
#include "sync/FileDigest.hpp"

bool FileDigests::match(const std::string& checksum, const std::string& expectedSha256) const {
    if (md5.empty() || md5 != checksum)
        return false;
    return expectedSha256.empty() || (!sha256.empty() && sha256 == expectedSha256);
}

FileDigest::FileDigest(bool withSha256) {
    if (withSha256)
        m_sha256.emplace();
}

bool FileDigest::update(const void* data, std::size_t size) {
    const bool md5 = m_md5.update(data, size);
    return (!m_sha256 || m_sha256->update(data, size)) && md5;
}

FileDigests FileDigest::finish() {
    return {m_md5.hex(), m_sha256 ? m_sha256->hex() : std::string()};
}
