// Owning wrappers for what the system hands out and must be given back: a
// file descriptor and an open directory. Each closes what it holds when it
// goes out of scope; release() hands it on without closing.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <utility>

class unique_fd {
public:
    unique_fd() = default;
    explicit unique_fd(int fd) : fd_(fd) {}
    unique_fd(unique_fd&& other) noexcept : fd_(other.release()) {}
    unique_fd& operator=(unique_fd&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    ~unique_fd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    // Closes what is held; the result of close(), 0 when nothing was held.
    int reset(int fd = -1)
    {
        int old = std::exchange(fd_, fd);
        return old >= 0 ? ::close(old) : 0;
    }

private:
    int fd_ = -1;
};

class unique_dir {
public:
    explicit unique_dir(const char* path) : dir_(::opendir(path)) {}
    unique_dir(const unique_dir&) = delete;
    unique_dir& operator=(const unique_dir&) = delete;
    ~unique_dir()
    {
        if (dir_) ::closedir(dir_);
    }

    explicit operator bool() const { return dir_ != nullptr; }
    // The next entry, nullptr at the end (or when the folder did not open).
    const dirent* next() { return dir_ ? ::readdir(dir_) : nullptr; }

private:
    DIR* dir_ = nullptr;
};
