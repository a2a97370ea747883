// Windows has no SIGPIPE: a write into a pipe whose reader has gone fails with
// ERROR_NO_DATA, and nothing is raised.

#include "SigPipeSuppressor.h"

SigPipeSuppressor::SigPipeSuppressor (int)
{
}

SigPipeSuppressor::~SigPipeSuppressor() = default;
