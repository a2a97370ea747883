// macOS: the descriptor itself can be told never to raise SIGPIPE, and the thread's signal
// mask is then left alone. The mark stays on the descriptor (and on every copy of it), so it
// is set only on the extension's own descriptors.

#include "SigPipeSuppressor.h"

#include <fcntl.h>

bool SigPipeSuppressor::markDescriptor (int fd)
{
    return fd >= 0 && ::fcntl (fd, F_SETNOSIGPIPE, 1) == 0;
}
