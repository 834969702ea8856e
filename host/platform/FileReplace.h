// Replacing a file so that a crash leaves either the old or the new one
// whole, the old one kept beside it as a numbered backup (POSIX host only:
// FileReplacePosix.cpp).
#pragma once

#include <stdexcept>
#include <string>

namespace hostplatform {

class FileReplaceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes oldContent to PATH.N (the first free N from 1) and content to a
// temporary file in PATH's folder, each flushed to the disk with PATH's
// permissions, then renames the temporary file over PATH. Returns the
// backup's path; FileReplaceError says what failed (PATH is then untouched).
std::string replaceFileKeepingBackup(const std::string& path, const std::string& oldContent,
                                     const std::string& content);

} // namespace hostplatform
