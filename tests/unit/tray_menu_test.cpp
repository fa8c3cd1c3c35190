// The tray menu's rows and the shell events that open it, where no Wine
// run can reach: the filter row's text, and an icon left on the older
// protocol (only WM_RBUTTONUP arrives).
#include "ui/tray_menu.h"

#include <gtest/gtest.h>

namespace zalo {
namespace {

TEST(TrayMenu, RowsAndEvents) {
    for (bool on : {true, false}) {
        const auto rows = trayMenuRows(on);
        EXPECT_STREQ(rows[0].text, L"Abrir ZALO AUDIO");
        EXPECT_STREQ(rows[1].text, on ? L"Desligar filtro" : L"Ligar filtro");
        EXPECT_STREQ(rows[2].text, L"Atalhos…");  // before the separator
        EXPECT_EQ(rows[3].id, 0);  // the separator
        EXPECT_STREQ(rows[4].text, L"Sair");
    }
    EXPECT_EQ(trayAction(0x0205, false), TrayAction::menu);  // WM_RBUTTONUP, old protocol
    EXPECT_EQ(trayAction(0x0200, true), TrayAction::none);   // WM_MOUSEMOVE
}

}  // namespace
}  // namespace zalo
