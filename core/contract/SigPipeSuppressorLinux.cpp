// Linux: a pipe has no "no SIGPIPE" flag; the guard blocks SIGPIPE on the thread instead.

#include "SigPipeSuppressor.h"

bool SigPipeSuppressor::markDescriptor (int)
{
    return false;
}
