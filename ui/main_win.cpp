// Entry point of ZaloAudio.exe: DPI awareness, common controls, the main
// window class and window (centred on the monitor under the pointer), the
// App, and the message loop. Exit codes: 0 after a normal quit, 1 when the
// class cannot be registered, 2 when the window cannot be created.
#include <windows.h>
#include <objbase.h>
#include <commctrl.h>

#include <memory>

#include "ui/app.h"
#include "ui/main_window_controls.h"
#include "ui/single_instance_win.h"
#include "ui/strings.h"
#include "ui/theme_palette.h"

namespace {

constexpr wchar_t kMainWindowClass[] = L"ZaloAudioMainWindow";
// WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX: fixed size, no maximise box.
constexpr DWORD kMainWindowStyle = 0x00CA0000;
constexpr DWORD kAllCommonControlClasses = 0xFF;

LRESULT CALLBACK mainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* app = reinterpret_cast<zalo::App*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (app == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    return app->handleMessage(message, wParam, lParam);
}

bool registerMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = mainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(zalo::kAppIconResource));
    if (wc.hIcon == nullptr) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    const zalo::Rgb bg = zalo::shared_colours::kClassBackground;
    // Owned by the class for the life of the process.
    wc.hbrBackground = CreateSolidBrush(RGB(bg.r, bg.g, bg.b));
    wc.lpszClassName = kMainWindowClass;
    if (RegisterClassExW(&wc) != 0) return true;
    if (wc.hbrBackground != nullptr) DeleteObject(wc.hbrBackground);
    return false;
}

// Top-left corner that centres a window of the given outer size in the work
// area of the monitor under the mouse pointer (integer halves, truncated).
POINT centredOnPointerMonitor(int width, int height) {
    POINT cursor{};
    GetCursorPos(&cursor);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &info);
    const RECT& work = info.rcWork;
    return POINT{work.left + (work.right - width - work.left) / 2,
                 work.top + (work.bottom - height - work.top) / 2};
}

// Per-monitor aware, scaling nothing: on a display above 100 % the window
// is physically smaller, never blurred. The call exists from Windows 10
// 1703 on; imported statically it would keep the program from loading at
// all on older versions, so it is looked up at run time. Where it is
// missing (or refused, as by Wine) the manifest's declaration stands.
void declareDpiAwareness() {
    using SetContext = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr) return;
    const auto set = reinterpret_cast<SetContext>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
    if (set != nullptr) set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
}

// COM for the user-interface thread, single-threaded as the shell's calls
// (ShellExecute, the tray) expect; undone when the process's work is done.
class ComApartment {
public:
    ComApartment() : initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (initialised) CoUninitialize();
    }

private:
    bool initialised;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // A second launch brings the running window forward and ends: two
    // instances would put a doubled voice on the cable.
    const zalo::SingleInstance instanceLock;
    if (!instanceLock.first()) {
        zalo::bringRunningInstanceForward(kMainWindowClass, 3000);
        return 0;
    }
    const ComApartment com;
    declareDpiAwareness();
    INITCOMMONCONTROLSEX controlsInit{sizeof(INITCOMMONCONTROLSEX), kAllCommonControlClasses};
    InitCommonControlsEx(&controlsInit);

    if (!registerMainWindowClass(instance)) return 1;

    RECT frame{0, 0, zalo::kClientWidth, zalo::kClientHeight};
    AdjustWindowRectEx(&frame, kMainWindowStyle, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const POINT origin = centredOnPointerMonitor(width, height);

    HWND hwnd = CreateWindowExW(0, kMainWindowClass, zalo::text::kWindowTitle, kMainWindowStyle,
                                origin.x, origin.y, width, height, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) return 2;

    auto app = std::make_unique<zalo::App>(hwnd);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(app.get()));
    app->createControls();
    ShowWindow(hwnd, showCommand);
    UpdateWindow(hwnd);

    MSG msg{};
    // 0 is WM_QUIT, -1 an error; both end the loop and the App is destroyed
    // normally.
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    // Late messages (the window may outlive a quit posted by someone else)
    // go to the default procedure from here on.
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    app.reset();
    return static_cast<int>(msg.wParam);
}
