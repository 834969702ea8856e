#include "host/platform/FileReplace.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace hostplatform {

namespace {

FileReplaceError failure(const std::string& what, const std::string& path) {
    return FileReplaceError("cannot " + what + " " + path + ": " + std::strerror(errno));
}

// Closes a descriptor after a failure, keeping the failure's errno.
bool closeFailed(int fd) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return false;
}

// Writes everything, flushes it to the disk and closes; false with errno set.
bool writeDurably(int fd, const std::string& content) {
    for (std::size_t done = 0; done < content.size();) {
        const ssize_t written = ::write(fd, content.data() + done, content.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return closeFailed(fd);
        done += static_cast<std::size_t>(written);
    }
    if (::fsync(fd) != 0) return closeFailed(fd);
    return ::close(fd) == 0;
}

std::string writeBackup(const std::string& path, const std::string& content, mode_t mode) {
    for (int number = 1;; ++number) {
        const std::string backup = path + "." + std::to_string(number);
        const int fd = ::open(backup.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0 || !writeDurably(fd, content)) throw failure("write the backup", backup);
        return backup;
    }
}

// The folder's entry of a renamed file reaches the disk with the folder.
void syncFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

std::string replaceFileKeepingBackup(const std::string& path, const std::string& oldContent,
                                     const std::string& content) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) throw failure("read the permissions of", path);
    const mode_t mode = status.st_mode & 07777;
    const std::string backup = writeBackup(path, oldContent, mode);
    std::vector<char> temporary(path.begin(), path.end());
    const std::string pattern = ".XXXXXX";
    temporary.insert(temporary.end(), pattern.begin(), pattern.end());
    temporary.push_back('\0');
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) throw failure("create a temporary file beside", path);
    const bool permitted = ::fchmod(fd, mode) == 0 || closeFailed(fd);
    if (!permitted || !writeDurably(fd, content) || ::rename(temporary.data(), path.c_str()) != 0) {
        const FileReplaceError error = failure("write the new content through", temporary.data());
        ::unlink(temporary.data());
        throw error;
    }
    syncFolder(path);
    return backup;
}

} // namespace hostplatform
