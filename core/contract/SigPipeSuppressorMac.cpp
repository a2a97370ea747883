// macOS: the descriptor itself can be told never to raise SIGPIPE; the thread's signal mask
// is left alone.

#include "SigPipeSuppressor.h"

#include <fcntl.h>

SigPipeSuppressor::SigPipeSuppressor (int fd)
{
    if (fd >= 0)
        fcntl (fd, F_SETNOSIGPIPE, 1);
}

SigPipeSuppressor::~SigPipeSuppressor() = default;
