// The document goes through the platform's write-then-rename, flushed to the disk and with the old permissions.
#include "tools/manifest/AtomicFile.hpp"

#include "platform/PartFile.hpp"

WriteResult writeFileAtomically(const std::filesystem::path& path, std::string_view contents) {
    std::string error;
    std::optional<platform::PartFile> file =
        platform::PartFile::create(path.string(), error, {.durable = true, .keepMode = true});
    if (!file)
        return {false, error};
    if (!file->append(contents.data(), contents.size()) || !file->commit())
        return {false, file->error()};
    return {true, {}};
}
