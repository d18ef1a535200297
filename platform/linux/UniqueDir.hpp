// Owner of one open folder listing (opendir, fdopendir), closed when the owner goes away.
#pragma once

#include <dirent.h>

#include <memory>

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;
