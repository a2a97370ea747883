// Windows: REAPER's main thread runs a Win32 message loop. A message-only window made on that
// thread at load gets what any thread posts to it from that loop, so a round asked for runs
// as soon as the loop turns, between REAPER's own messages, with no timer to wait for. Modal
// loops (a message box) dispatch it too. The window goes at unload: a round posted and not
// yet run is discarded with it, so nothing of this DLL runs once REAPER has unloaded it.

#include "Platform.h"

#include <atomic>

#include <windows.h>

#include "WideText.h"

namespace platform
{
namespace
{
constexpr UINT kRoundMessage = WM_APP + 1;
constexpr const wchar_t* kWindowClass = L"BelvantaReaperRounds";

std::atomic<void (*)()> roundFunction{nullptr};
std::atomic<HWND> roundWindow{nullptr};

// At most one round waits in the window's queue at a time: a burst of requests posts one,
// which then asks for the next while work is left.
std::atomic<bool> roundQueued{false};

LRESULT CALLBACK roundWindowProcedure (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kRoundMessage)
        return ::DefWindowProcW (window, message, wParam, lParam);

    roundQueued = false;

    if (auto* round = roundFunction.load())
        round();

    return 0;
}

// This DLL's own handle: the window class is registered for it, so that another module's
// class of the same name is another class.
HINSTANCE thisModule()
{
    HMODULE module = nullptr;
    ::GetModuleHandleExW (GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR> (&roundWindowProcedure), &module);
    return module;
}
} // namespace

bool startMainThreadRounds (const reaper_plugin_info_t&, void (*round)())
{
    if (roundWindow.load() != nullptr)
        return true;

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof (windowClass);
    windowClass.lpfnWndProc = &roundWindowProcedure;
    windowClass.hInstance = thisModule();
    windowClass.lpszClassName = kWindowClass;

    if (::RegisterClassExW (&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;

    const auto window = ::CreateWindowExW (0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);

    if (window == nullptr)
    {
        ::UnregisterClassW (kWindowClass, windowClass.hInstance);
        return false;
    }

    roundFunction = round;
    roundQueued = false;
    roundWindow = window;
    return true;
}

void requestRound()
{
    const auto window = roundWindow.load();

    if (window == nullptr || roundQueued.exchange (true))
        return;

    // A full message queue (10,000 messages) takes nothing: the next request tries again.
    if (::PostMessageW (window, kRoundMessage, 0, 0) == 0)
        roundQueued = false;
}

void stopMainThreadRounds()
{
    const auto window = roundWindow.exchange (nullptr);
    roundFunction = nullptr;

    if (window == nullptr)
        return;

    // On the thread that made it (the unload call is made on REAPER's main thread):
    // destroying it throws away the round still posted to it.
    ::DestroyWindow (window);
    ::UnregisterClassW (kWindowClass, thisModule());
}

void showAlertWithoutHost (const std::string& title, const std::string& message)
{
    ::MessageBoxW (nullptr, wide_text::fromUtf8 (message).c_str(), wide_text::fromUtf8 (title).c_str(), MB_OK | MB_ICONWARNING);
}

void setCurrentThreadName (const char* name)
{
    // SetThreadDescription came with Windows 10 1607: looked up, so that the DLL imports
    // nothing newer than Windows 10's first release.
    using SetDescription = HRESULT (WINAPI*) (HANDLE, PCWSTR);
    static const auto setDescription = reinterpret_cast<SetDescription> (
        reinterpret_cast<void*> (::GetProcAddress (::GetModuleHandleW (L"kernel32.dll"), "SetThreadDescription")));

    if (setDescription != nullptr)
        setDescription (::GetCurrentThread(), wide_text::fromUtf8 (name).c_str());
}
} // namespace platform
