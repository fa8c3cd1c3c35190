// The window message by which a second launch of ZaloAudio.exe asks the
// running one to come forward, as the tray's "Abrir" does. The program
// closes to the tray, and a hidden tray icon leaves launching it again as
// the natural way back to the window; two instances would capture twice and
// put a doubled voice on the cable. A registered message: every process
// that registers the name gets the same id.
#pragma once

namespace zalo {

inline constexpr wchar_t kShowRequestMessageName[] = L"ZaloAudio.ShowRequest";

}  // namespace zalo
