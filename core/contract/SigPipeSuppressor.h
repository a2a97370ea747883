#pragma once

// Keeps a write to a pipe whose reader has gone from raising SIGPIPE in the process, for as
// long as it exists, without touching the process-wide signal disposition (which belongs to
// the host). The write then fails with EPIPE instead. Some systems mark the descriptor (only
// ever one of our own), else the calling thread blocks SIGPIPE (SigPipeSuppressor.cpp): with
// fd -1, always the thread, for a thread that writes to a descriptor shared with others.
class SigPipeSuppressor
{
public:
    // fd is the descriptor about to be written, or -1.
    explicit SigPipeSuppressor (int fd);
    ~SigPipeSuppressor();

    SigPipeSuppressor (const SigPipeSuppressor&) = delete;
    SigPipeSuppressor& operator= (const SigPipeSuppressor&) = delete;

private:
    // Marks fd never to raise SIGPIPE, where the system can; false when not marked. One
    // implementation per system.
    static bool markDescriptor (int fd);

    bool blocked = false;
    bool wasPending = false;
};
