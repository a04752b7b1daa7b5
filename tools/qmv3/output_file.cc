// Output files written beside their final name and linked into place when complete.
#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace qmv3tool {

OutputFile::~OutputFile() {
    if (!temporary_.empty() && !committed_) unlink(temporary_.c_str());
}

bool OutputFile::Create(std::string& message) {
    const size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    std::string pattern = folder + "." + base + ".partial-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        message = path_ + ": cannot create a file there (" + std::strerror(errno) + ")";
        return false;
    }
    // mkstemp makes the file private; the result gets the mode any new file of the user gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    temporary_ = name.data();
    return true;
}

bool OutputFile::Commit(std::string& message) {
    if (link(temporary_.c_str(), path_.c_str()) != 0) {
        const int error = errno;
        if (error == EEXIST) {
            message = path_ + " exists already";
            return false;
        }
        // File systems without hard links: a rename after a last look at the name.
        if (access(path_.c_str(), F_OK) == 0) {
            message = path_ + " exists already";
            return false;
        }
        if (rename(temporary_.c_str(), path_.c_str()) != 0) {
            message = path_ + ": cannot put the written file in place (" + std::strerror(errno) + ")";
            return false;
        }
        committed_ = true;
        return true;
    }
    unlink(temporary_.c_str());
    committed_ = true;
    return true;
}

std::string ExistingOutputMessage(const std::string& path) {
    return access(path.c_str(), F_OK) == 0 ? path + " exists already" : "";
}

}  // namespace qmv3tool
