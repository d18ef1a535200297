// Links on Linux: symbolic links, for files and folders alike.
#include "support/Links.hpp"

#include <unistd.h>

namespace testing_support {

bool makeFileLink(const std::string& target, const std::string& link) {
    return ::symlink(target.c_str(), link.c_str()) == 0;
}

bool makeFolderLink(const std::string& target, const std::string& link) {
    return ::symlink(target.c_str(), link.c_str()) == 0;
}

bool removeLink(const std::string& link) {
    return ::unlink(link.c_str()) == 0;
}

bool underWine() {
    return false;
}

} // namespace testing_support
