// Test-only tool: finds ZaloAudio's main window and lists or drives its
// controls from another process, as a user would. Commands run in order:
//   desktop NAME, window CLASS   (first only) look on that explorer
//                        /desktop desktop; target that top-level window class
//                        instead of the main window, e.g. ZaloAudioVoiceGallery
//   wait                 until the main window exists (10 s), else exit 2
//   list                 one line per child: index class id x y w h style
//                        enabled visible check pos text (tab-separated); for a
//                        combo, check is the item count and every item follows
//   frame                the window's outer rectangle on the screen (x y w
//                        h), its client origin, enabled (1/0) and its
//                        monitor's work area (left top right bottom)
//   click ID             BM_CLICK; refuses (exit 3) a disabled control, since
//                        Wine's BM_CLICK would click it anyway
//   select ID INDEX      choose a combo item and notify as a user's pick does
//   slide ID POS         move a slider and send the parent its WM_HSCROLL
//   show                 restore the window
//   post MSG LPARAM      post a message (a number, or a registered name such
//                        as TaskbarCreated) to the main window; post 18 0 quits
//   windows              the desktop's top-level windows as list prints them,
//                        screen rectangles; check: iconic, pos: ZaloAudio's
//   key VK               post a key press to the open popup menu (#32768)
//   icon add|delete|present   Shell_NotifyIconW on the (main window, 7) icon
//                        from this process; exit 7 when the shell refuses
//   gone                 wait for ZaloAudio's process to end; print its exit code
//   press MODS VK        SendInput: the modifiers (RegisterHotKey flags) down,
//                        the key down and up, the modifiers up
//   down VK, up VK       SendInput one key event (VK 5, 6: a mouse side
//                        button); prints "at T", the performance counter in
//                        seconds just before the event
//   clock                prints "at T" now
//   sleep MS             waits
//   grab MODS VK         RegisterHotKey for this process until it exits, as
//                        another program holding a shortcut; exit 9 if refused
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <utility>
#include <string>
#include <vector>

namespace {

HWND mainWindow = nullptr;

// Prints one line, formatted as swprintf does, in UTF-8.
template <typename... Args>
void out(const wchar_t* format, Args... args) {
    std::vector<wchar_t> line(8192);
    swprintf(line.data(), line.size(), format, args...);
    std::string utf8(3 * line.size(), '\0');  // UTF-8 takes at most 3 bytes per UTF-16 unit
    WideCharToMultiByte(CP_UTF8, 0, line.data(), -1, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
    std::printf("%s\n", utf8.c_str());
    fflush(stdout);
}

BOOL CALLBACK collect(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

std::wstring itemOf(HWND combo, long index) {
    std::wstring item(static_cast<std::size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&item[0]));
    return item.c_str();
}

// One line per window, for controls and top-level windows alike: index class
// id x y w h style enabled visible check pos text. `relative`: the rectangle
// in the main window's client coordinates, else on the screen.
void listWindows(const std::vector<HWND>& windows, bool relative) {
    int index = 0;
    for (HWND h : windows) {
        if (relative && GetParent(h) != mainWindow) continue;  // a combo's own edit or list
        wchar_t cls[64] = {}, buffer[1024] = {};
        GetClassNameW(h, cls, 64);
        SendMessageW(h, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
        std::wstring text = buffer;
        RECT r{};
        GetWindowRect(h, &r);
        if (relative) MapWindowPoints(nullptr, mainWindow, reinterpret_cast<POINT*>(&r), 2);
        long pos = 0, check = 0;
        if (!relative) {  // top level: check is "iconic", pos "of ZaloAudio's process"
            DWORD pid = 0, ours = 0;
            GetWindowThreadProcessId(h, &pid), GetWindowThreadProcessId(mainWindow, &ours);
            check = IsIconic(h) ? 1 : 0, pos = pid == ours ? 1 : 0;
        } else if (_wcsicmp(cls, L"ComboBox") == 0) {
            // Its extent when dropped down: the selection field (the window
            // itself) plus the list, whose height CB_GETDROPPEDCONTROLRECT
            // gives under Wine.
            RECT dropped{};
            SendMessageW(h, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
            r.bottom += dropped.bottom - dropped.top;
            pos = static_cast<long>(SendMessageW(h, CB_GETCURSEL, 0, 0));
            check = static_cast<long>(SendMessageW(h, CB_GETCOUNT, 0, 0));
            text = pos >= 0 ? itemOf(h, pos) : L"";  // then every item, tab-separated
            for (long item = 0; item < check; ++item) text += L"\t" + itemOf(h, item);
        } else if (_wcsicmp(cls, TRACKBAR_CLASSW) == 0 || _wcsicmp(cls, PROGRESS_CLASSW) == 0) {
            pos = static_cast<long>(SendMessageW(h, _wcsicmp(cls, TRACKBAR_CLASSW) == 0 ? TBM_GETPOS : PBM_GETPOS, 0, 0));
        } else if (_wcsicmp(cls, L"Button") == 0) {
            check = static_cast<long>(SendMessageW(h, BM_GETCHECK, 0, 0));
        }
        out(L"%d\t%ls\t%d\t%ld\t%ld\t%ld\t%ld\t%08lx\t%d\t%d\t%ld\t%ld\t%ls", index++, cls, GetDlgCtrlID(h), r.left,
            r.top, r.right - r.left, r.bottom - r.top, static_cast<unsigned long>(GetWindowLongW(h, GWL_STYLE)),
            IsWindowEnabled(h) ? 1 : 0, IsWindowVisible(h) ? 1 : 0, check, pos, text.c_str());
    }
}

double counterSeconds() {
    LARGE_INTEGER now{}, frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

INPUT keyInput(WORD key, bool down) {
    INPUT in{};
    if (key == VK_XBUTTON1 || key == VK_XBUTTON2) {
        in.type = INPUT_MOUSE;
        in.mi.mouseData = key == VK_XBUTTON1 ? XBUTTON1 : XBUTTON2;
        in.mi.dwFlags = down ? MOUSEEVENTF_XDOWN : MOUSEEVENTF_XUP;
        return in;
    }
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = key;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    const bool extended = (key >= VK_PRIOR && key <= VK_DOWN) || key == VK_INSERT || key == VK_DELETE;
    in.ki.dwFlags = (down ? 0 : KEYEVENTF_KEYUP) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
    return in;
}

// A combination as a user presses it: modifiers, key, release in reverse.
void pressCombo(unsigned modifiers, WORD key) {
    const std::pair<unsigned, WORD> mods[] = {{MOD_CONTROL, VK_CONTROL}, {MOD_ALT, VK_MENU}, {MOD_SHIFT, VK_SHIFT},
                                              {MOD_WIN, VK_LWIN}};
    std::vector<INPUT> inputs;
    for (const auto& m : mods) {
        if (modifiers & m.first) inputs.push_back(keyInput(m.second, true));
    }
    inputs.push_back(keyInput(key, true));
    inputs.push_back(keyInput(key, false));
    for (auto it = std::rbegin(mods); it != std::rend(mods); ++it) {
        if (modifiers & it->first) inputs.push_back(keyInput(it->second, false));
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

HWND child(const wchar_t* id) {
    HWND h = GetDlgItem(mainWindow, _wtoi(id));
    if (h == nullptr) {
        out(L"no control %ls", id);
        ExitProcess(4);
    }
    return h;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // "desktop NAME": look on a virtual desktop of explorer /desktop, which
    // may not exist yet while the program starts; "window CLASS": another
    // top-level window than the main one.
    const wchar_t* desktop = nullptr;
    const wchar_t* windowClass = L"ZaloAudioMainWindow";
    for (; argc > 2 && (wcscmp(argv[1], L"desktop") == 0 || wcscmp(argv[1], L"window") == 0); argv += 2, argc -= 2) {
        (wcscmp(argv[1], L"desktop") == 0 ? desktop : windowClass) = argv[2];
    }
    for (int i = 0; i < 200 && mainWindow == nullptr; ++i) {
        HDESK desk = desktop != nullptr ? OpenDesktopW(desktop, 0, FALSE, GENERIC_ALL) : nullptr;
        if (desktop == nullptr || (desk != nullptr && SetThreadDesktop(desk))) {
            mainWindow = FindWindowW(windowClass, nullptr);
        }
        if (mainWindow == nullptr && (argc < 2 || wcscmp(argv[1], L"wait") != 0)) break;
        if (mainWindow == nullptr) Sleep(50);
    }
    if (mainWindow == nullptr) {
        out(L"no window %ls", windowClass);
        return 2;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(mainWindow, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    for (int i = 1; i < argc; ++i) {
        const std::wstring cmd = argv[i];
        if (cmd == L"list" || cmd == L"windows") {
            std::vector<HWND> windows;
            if (cmd == L"list") EnumChildWindows(mainWindow, collect, reinterpret_cast<LPARAM>(&windows));
            else EnumWindows(collect, reinterpret_cast<LPARAM>(&windows));
            listWindows(windows, cmd == L"list");
        } else if (cmd == L"frame") {
            RECT r{};
            GetWindowRect(mainWindow, &r);
            POINT client{0, 0};
            ClientToScreen(mainWindow, &client);
            MONITORINFO monitor{sizeof(MONITORINFO), {}, {}, 0};
            GetMonitorInfoW(MonitorFromWindow(mainWindow, MONITOR_DEFAULTTONEAREST), &monitor);
            const RECT& work = monitor.rcWork;
            out(L"%ld %ld %ld %ld %ld %ld %d %ld %ld %ld %ld", r.left, r.top, r.right - r.left, r.bottom - r.top,
                client.x, client.y, IsWindowEnabled(mainWindow) ? 1 : 0, work.left, work.top, work.right, work.bottom);
        } else if (cmd == L"click" && i + 1 < argc) {
            HWND h = child(argv[++i]);
            if (!IsWindowEnabled(h)) {
                out(L"disabled %ls", argv[i]);
                return 3;
            }
            SendMessageW(h, BM_CLICK, 0, 0);
        } else if (cmd == L"select" && i + 2 < argc) {
            HWND h = child(argv[++i]);
            SendMessageW(h, CB_SETCURSEL, _wtoi(argv[++i]), 0);
            SendMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(h));
        } else if (cmd == L"slide" && i + 2 < argc) {
            HWND h = child(argv[++i]);
            const int pos = _wtoi(argv[++i]);
            SendMessageW(h, TBM_SETPOS, TRUE, pos);
            SendMessageW(mainWindow, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, pos), reinterpret_cast<LPARAM>(h));
        } else if (cmd == L"show") {
            ShowWindow(mainWindow, SW_RESTORE);
            SetForegroundWindow(mainWindow);
        } else if (cmd == L"post" && i + 2 < argc) {
            const UINT message = iswdigit(argv[++i][0]) ? _wtoi(argv[i]) : RegisterWindowMessageW(argv[i]);
            PostMessageW(mainWindow, message, 0, _wtoi(argv[++i]));
        } else if (cmd == L"key" && i + 1 < argc) {
            HWND menu = FindWindowW(L"#32768", nullptr);
            if (menu == nullptr || !IsWindowVisible(menu)) return 6;
            PostMessageW(menu, WM_KEYDOWN, _wtoi(argv[++i]), 0);
        } else if (cmd == L"icon" && i + 1 < argc) {
            const std::wstring how = argv[++i];
            NOTIFYICONDATAW icon{};  // "present": a change of nothing, refused for no icon
            icon.cbSize = sizeof(icon);
            icon.hWnd = mainWindow;
            icon.uID = 7;
            icon.uFlags = how == L"add" ? NIF_ICON : 0;
            icon.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
            if (!Shell_NotifyIconW(how == L"add" ? NIM_ADD : how == L"delete" ? NIM_DELETE : NIM_MODIFY, &icon)) {
                return 7;
            }
        } else if (cmd == L"gone") {
            DWORD code = 0;
            if (process == nullptr || WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) return 8;
            GetExitCodeProcess(process, &code);
            out(L"exit %lu", static_cast<unsigned long>(code));
        } else if (cmd == L"press" && i + 2 < argc) {
            const unsigned modifiers = static_cast<unsigned>(_wtoi(argv[++i]));
            pressCombo(modifiers, static_cast<WORD>(_wtoi(argv[++i])));
        } else if ((cmd == L"down" || cmd == L"up") && i + 1 < argc) {
            INPUT in = keyInput(static_cast<WORD>(_wtoi(argv[++i])), cmd == L"down");
            out(L"at %.6f", counterSeconds());
            SendInput(1, &in, sizeof(INPUT));
        } else if (cmd == L"clock") {
            out(L"at %.6f", counterSeconds());
        } else if (cmd == L"sleep" && i + 1 < argc) {
            Sleep(static_cast<DWORD>(_wtoi(argv[++i])));
        } else if (cmd == L"grab" && i + 2 < argc) {
            const UINT modifiers = static_cast<UINT>(_wtoi(argv[++i]));
            if (!RegisterHotKey(nullptr, 1, modifiers, static_cast<UINT>(_wtoi(argv[++i])))) return 9;
        } else if (cmd != L"wait") {
            out(L"unknown command %ls", cmd.c_str());
            return 5;
        }
    }
    return 0;
}
