#pragma once

#include <unistd.h>

// Owns one POSIX file descriptor and closes it when it goes.
class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd (int descriptor)
        : fd (descriptor)
    {
    }
    ~UniqueFd()
    {
        reset();
    }

    UniqueFd (UniqueFd&& other) noexcept
        : fd (other.release())
    {
    }

    UniqueFd& operator= (UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset (other.release());

        return *this;
    }

    UniqueFd (const UniqueFd&) = delete;
    UniqueFd& operator= (const UniqueFd&) = delete;

    int get() const
    {
        return fd;
    }
    bool isValid() const
    {
        return fd >= 0;
    }

    int release()
    {
        const auto old = fd;
        fd = -1;
        return old;
    }

    void reset (int descriptor = -1)
    {
        if (fd >= 0)
            ::close (fd);

        fd = descriptor;
    }

private:
    int fd = -1;
};
