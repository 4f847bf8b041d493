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

const char* kind_of(mode_t mode)
{
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "something other than a file";
}

// What `path` finally names once its symbolic links are followed: the file
// to replace, or where a new one goes when the last link dangles. False,
// with errno and `error` set, when that is something other than a regular
// file (a folder, a device, a FIFO, a socket): nothing is to be put there.
bool replaceable_target(const std::string& path, std::string& target, std::string* error)
{
    target = path;
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (::lstat(target.c_str(), &st) != 0) return true;  // nothing there yet (or it tells later)
        if (S_ISREG(st.st_mode)) return true;
        if (!S_ISLNK(st.st_mode)) {
            errno = S_ISDIR(st.st_mode) ? EISDIR : ENOTSUP;
            if (error) {
                *error = path + (target == path ? "" : " (" + target + ")") + " is " + kind_of(st.st_mode) +
                         ", not a file; it was left as it was";
            }
            return false;
        }
        if (hops == 40) {
            errno = ELOOP;
            set_error(error, "cannot follow the links of " + path);
            return false;
        }
        std::vector<char> link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n < 0 || static_cast<size_t>(n) >= link.size()) {
            if (n >= 0) errno = ENAMETOOLONG;
            set_error(error, "cannot follow the link " + target);
            return false;
        }
        const std::string to(link.data(), static_cast<size_t>(n));
        const size_t slash = target.find_last_of('/');
        target = (!to.empty() && to[0] == '/') || slash == std::string::npos ? to : target.substr(0, slash + 1) + to;
    }
}

}  // namespace

bool write_file_replacing(const std::string& given, const void* data, size_t size, Placement placement,
                          std::string* error)
{
    // Replacing writes through symbolic links to the file they name, and
    // never puts a file in the place of anything that is not one.
    std::string path = given;
    if (placement == Placement::replace && !replaceable_target(given, path, error)) return false;
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
