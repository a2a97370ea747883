#pragma once

// Keeps a write to a pipe whose reader has gone from raising SIGPIPE in the process, for as
// long as it exists, without touching the process-wide signal disposition (which belongs to
// the host). The write then fails with EPIPE instead. One implementation per system.
class SigPipeSuppressor
{
public:
    // fd is the descriptor about to be written; some systems mark it rather than the thread.
    explicit SigPipeSuppressor (int fd);
    ~SigPipeSuppressor();

    SigPipeSuppressor (const SigPipeSuppressor&) = delete;
    SigPipeSuppressor& operator= (const SigPipeSuppressor&) = delete;

private:
    [[maybe_unused]] bool blocked = false;
    [[maybe_unused]] bool wasPending = false;
};
