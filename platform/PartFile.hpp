// A file written beside its target under a temporary name and renamed over the target only once complete.
// A resumable one keeps a stable name across runs, so a download cut off by a close, a kill or a crash can go on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

/// How a finished PartFile takes its target's place. The defaults suit downloads, which are checked by their
/// checksum anyway; files a person or another program reads from their real name want more.
struct ReplaceOptions {
    /// The contents reach the disk (fsync, FlushFileBuffers) before the rename: after a power cut the target holds
    /// the old contents or the new ones, never an empty file.
    bool durable = false;
    /// The new file gets the permissions of the file it replaces; a new target gets the usual ones (0666 less the
    /// umask). Without it a replaced file, too, gets the usual ones. Nothing to do where files carry no modes.
    bool keepMode = false;
    /// A symbolic link at the target stays a link: the file it points to (through every link in a chain) is the
    /// one written, and the temporary file is created beside that file.
    bool throughLink = false;
};

class PartFile {
public:
    static constexpr std::size_t bufferSize = 1024 * 1024;

    /// Creates "<target>.part-<pid>-<n>" exclusively (never opening an existing file or link of that name);
    /// nullopt (and the OS's words in `error`) when it cannot.
    [[nodiscard]] static std::optional<PartFile> create(const std::string& target, std::string& error,
                                                        const ReplaceOptions& options = {});

    /// True when `target` exists and may not be written: no write permission bit, or none for this user, on Linux;
    /// the read-only attribute on Windows. The rename of commit() would replace such a file all the same (on Linux), so
    /// a caller that must leave a locked file alone asks this first. Links are followed.
    [[nodiscard]] static bool isReadOnly(const std::string& target);

    /// Suffix of the stable partial file that resume() keeps beside its target.
    static constexpr const char* resumeSuffix = ".varnhold-partial";
    /// Opens "<target>.varnhold-partial" for appending, creating it when missing; what an earlier run left in it
    /// stays and size() tells how much. Unlike create()'s file it outlives the object (what was appended is
    /// written out first), until commit() or discard(). One writer per target: callers must not open it twice.
    [[nodiscard]] static std::optional<PartFile> resume(const std::string& target, std::string& error);
    /// The stable partial file's name for `target`.
    [[nodiscard]] static std::string resumePath(const std::string& target);
    /// The targets under `folder` (all levels) that have a stable partial file beside them. Linked folders
    /// (symbolic links, junctions) are not entered: what they lead to need not be the game's.
    [[nodiscard]] static std::vector<std::string> findResumable(const std::string& folder);

    PartFile(PartFile&&) noexcept;
    PartFile& operator=(PartFile&&) = delete;
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;
    /// Removes the temporary file unless it was committed.
    ~PartFile();

    /// Buffers or writes `size` bytes after what was appended so far; false (and the reason in error()) when the disk
    /// refused them.
    [[nodiscard]] bool append(const char* data, std::size_t size);
    /// Writes `size` bytes at `offset` at once (what append() buffered goes first), so that several pieces of one
    /// file can arrive side by side; a gap before them reads as zeros. Not mixed with append() on one file.
    [[nodiscard]] bool writeAt(std::uint64_t offset, const char* data, std::size_t size);
    /// Writes what is buffered, closes and renames over the target (as `ReplaceOptions` say); false (see error())
    /// when any step failed, and the target is then as it was.
    [[nodiscard]] bool commit();
    /// Empties the file, to start over from its first byte.
    [[nodiscard]] bool restart();
    /// Removes the file now, a resumable one included; nothing works afterwards.
    void discard();

    /// Bytes in the file: what was there when it was opened and what was written since, up to the furthest write.
    [[nodiscard]] std::uint64_t size() const noexcept { return m_size; }
    /// True when the last failure was a full disk (or an exhausted quota), not some other fault.
    [[nodiscard]] bool outOfSpace() const noexcept { return m_outOfSpace; }

    /// The temporary file's name.
    [[nodiscard]] const std::string& path() const noexcept { return m_path; }
    /// The file the rename replaces: the target, or with `throughLink` the file its links lead to.
    [[nodiscard]] const std::string& target() const noexcept { return m_target; }
    [[nodiscard]] const std::string& error() const noexcept { return m_error; }

private:
    struct Handle; // the OS's handle of the open temporary file
    // Lets the OS-independent code own a handle whose insides only the backend knows.
    struct HandleDeleter {
        void operator()(Handle* handle) const noexcept;
    };
    using HandlePtr = std::unique_ptr<Handle, HandleDeleter>;

    PartFile(std::string target, std::string path, HandlePtr handle);
    bool flush();

    // The calls into the OS, defined once per backend; the buffering and bookkeeping around them are shared.
    // Failures leave the OS's words in `error`, or in m_error for the members.
    [[nodiscard]] static std::optional<std::string> fileBehindLinks(const std::string& target, std::string& error);
    /// Null with `taken` set when `path` exists already, so the caller tries another name.
    [[nodiscard]] static HandlePtr createNew(const std::string& path, const std::string& replaced,
                                             const ReplaceOptions& options, bool& taken, std::string& error);
    /// Opens the stable partial file for writing after what it holds, and tells how much that is.
    [[nodiscard]] static HandlePtr openForResume(const std::string& path, std::uint64_t& size, std::string& error);
    [[nodiscard]] static unsigned long processId();
    struct FolderEntry {
        std::string name;
        bool isFolder = false;
    };
    /// The plain files and folders directly in `folder`; links and whatever else is neither are left out.
    [[nodiscard]] static std::vector<FolderEntry> listFolder(const std::string& folder);
    static void removeFile(const std::string& path);
    [[nodiscard]] bool isOpen() const noexcept;
    /// Writes all of `data` at `offset`, whatever the file's position.
    [[nodiscard]] bool writeAllAt(std::uint64_t offset, const char* data, std::size_t size);
    [[nodiscard]] bool truncateFile();
    [[nodiscard]] bool syncToDisk();
    [[nodiscard]] bool closeFile();
    [[nodiscard]] bool renameOverTarget();

    std::string m_target;
    std::string m_path;
    HandlePtr m_handle;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    ReplaceOptions m_options;
    std::uint64_t m_size = 0;
    std::uint64_t m_appendAt = 0; // where the buffered bytes go: the end of what append() wrote
    bool m_keep = false;          // a resumable file stays on disk when the object goes away
    bool m_committed = false;
    bool m_outOfSpace = false;
    std::string m_error;
};

} // namespace platform
