#include "base/file_replace.h"

#include "base/owned.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

void set_error(std::string* error, const std::string& what)
{
    if (error) *error = what + ": " + std::strerror(errno);
}

// Removes the temporary file unless it was renamed away.
struct TempFile {
    std::string path;
    unique_fd fd;
    ~TempFile()
    {
        fd.reset();
        if (!path.empty()) ::unlink(path.c_str());
    }
};

bool write_all(int fd, const unsigned char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Some file systems (the FAT storage of a wrist unit) refuse the no-replace
// flag; there a check before the rename has to do.
bool rename_no_replace(const char* from, const char* to)
{
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat st;
    if (::lstat(to, &st) == 0) {
        errno = EEXIST;
        return false;
    }
    if (errno != ENOENT) return false;
    return std::rename(from, to) == 0;
}

}  // namespace

bool write_file_replacing(const std::string& path, const void* data, size_t size, Placement placement,
                          std::string* error)
{
    std::string tmpl = path + ".tmpXXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');

    TempFile tmp;
    tmp.fd.reset(::mkstemp(name.data()));
    if (!tmp.fd) {
        set_error(error, "cannot create a temporary file beside " + path);
        return false;
    }
    tmp.path = name.data();
    // mkstemp makes the file private; give it the mode a plain create would.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(tmp.fd.get(), 0666 & ~mask);

    if (!write_all(tmp.fd.get(), static_cast<const unsigned char*>(data), size)) {
        set_error(error, "cannot write " + tmp.path);
        return false;
    }
    if (::fsync(tmp.fd.get()) != 0) {
        set_error(error, "cannot flush " + tmp.path);
        return false;
    }
    if (tmp.fd.reset() != 0) {
        set_error(error, "cannot close " + tmp.path);
        return false;
    }
    bool placed = placement == Placement::replace ? std::rename(tmp.path.c_str(), path.c_str()) == 0
                                                  : rename_no_replace(tmp.path.c_str(), path.c_str());
    if (!placed) {
        set_error(error, "cannot put the file in place at " + path);
        return false;
    }
    tmp.path.clear();
    return true;
}
