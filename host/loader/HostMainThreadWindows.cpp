// Windows: the process's first thread runs a Win32 message loop for good, as REAPER's main
// thread does; the program runs on a thread of its own and hands REAPER's main-thread calls
// (loading, timer rounds, unloading) to that loop through a message-only window of the host's,
// waiting for each. An extension's own message-only window, made during its load call, is
// served by the same loop, between the host's calls.

#include "HostMainThread.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <windows.h>

namespace reaper_host::host_main_thread
{
namespace
{
constexpr UINT kCallMessage = WM_APP + 1;

std::atomic<HWND> callWindow{nullptr};
DWORD mainThreadId = 0;
std::thread::id mainThread;

struct Call
{
    const std::function<void()>* work;
    std::mutex lock;
    std::condition_variable doneSignal;
    bool done = false;
};

LRESULT CALLBACK callWindowProcedure (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kCallMessage)
        return ::DefWindowProcW (window, message, wParam, lParam);

    auto* call = reinterpret_cast<Call*> (lParam);
    (*call->work)();
    const std::lock_guard<std::mutex> guard (call->lock);
    call->done = true;
    call->doneSignal.notify_one();
    return 0;
}

HWND makeCallWindow()
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof (windowClass);
    windowClass.lpfnWndProc = &callWindowProcedure;
    windowClass.hInstance = ::GetModuleHandleW (nullptr);
    windowClass.lpszClassName = L"ReaperSimMainThread";
    ::RegisterClassExW (&windowClass);
    return ::CreateWindowExW (0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
}
} // namespace

int runProgram (int (*program) (int, char**), int argc, char** argv)
{
    mainThreadId = ::GetCurrentThreadId();
    mainThread = std::this_thread::get_id();
    const auto window = makeCallWindow();

    if (window == nullptr)
    {
        std::fprintf (stderr, "cannot make the main thread's window\n");
        return 1;
    }

    callWindow = window;

    // The program ends the process when it returns.
    std::thread ([program, argc, argv]
                 { std::exit (program (argc, argv)); })
        .detach();

    MSG message;

    while (::GetMessageW (&message, nullptr, 0, 0) > 0)
    {
        ::TranslateMessage (&message);
        ::DispatchMessageW (&message);
    }

    return 0;
}

void call (const std::function<void()>& work)
{
    const auto window = callWindow.load();

    if (window == nullptr || ::GetCurrentThreadId() == mainThreadId)
    {
        work();
        return;
    }

    Call pending;
    pending.work = &work;

    if (::PostMessageW (window, kCallMessage, 0, reinterpret_cast<LPARAM> (&pending)) == 0)
    {
        work();
        return;
    }

    std::unique_lock<std::mutex> guard (pending.lock);
    pending.doneSignal.wait (guard, [&]
                             { return pending.done; });
}

void runModalLoopOnce()
{
    MSG message;

    while (::PeekMessageW (&message, nullptr, 0, 0, PM_REMOVE) != 0)
    {
        ::TranslateMessage (&message);
        ::DispatchMessageW (&message);
    }
}

std::thread::id id()
{
    return callWindow.load() != nullptr ? mainThread : std::this_thread::get_id();
}

bool extensionRoundsComeOnDemand()
{
    return true;
}
} // namespace reaper_host::host_main_thread
