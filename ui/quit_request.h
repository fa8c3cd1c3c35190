// The window message by which another process (the setup program, its
// uninstaller) asks a running ZaloAudio.exe to quit. The main window answers
// it exactly as the tray menu's "Sair": DestroyWindow, so App::shutdown
// stops the audio threads and the process ends with exit code 0. Settings
// are written when they change, never at exit, so nothing is lost.
//
// A registered message: its id is known only at run time, and every process
// that registers the same name gets the same id. installer/CMakeLists.txt
// reads the name from this line; keep it on one line.
#pragma once

namespace zalo {

inline constexpr wchar_t kQuitRequestMessageName[] = L"ZaloAudio.QuitRequest";

}  // namespace zalo
