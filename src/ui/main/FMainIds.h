// Control identifiers of the main window, shared with the tests that drive it from outside.
#pragma once

#define IDC_LBKEY_FIRST 1001       // + row: key headings
#define IDC_CBOKEY_FIRST 1011      // + row: the key lists (the list control's own window)
#define IDC_IMGBUTTON_FIRST 1021   // + row: key caps
#define IDC_IMGARROW_FIRST 1031    // + row: arrows
#define IDC_IMGDISABLED_FIRST 1041 // + row: information icons of a locked row
#define IDC_LBDISABLED_FIRST 1051  // + row: notices of a locked row
#define IDC_CMDOK 1                // IDOK: Enter in the dialog navigation
#define IDC_CMDCANCEL 2            // IDCANCEL: Escape
#define IDC_CMDRESTORE 1100
#define IDC_IMGHELP 1101
#define IDC_IMGPAYPAL_FIRST 1102 // + 0 German, + 1 English
#define IDC_IMGDECORATION 1104
#define IDC_LBORVANDE 1105
#define IDC_LBRESTART 1106 // the line that says a restart is pending

// The main window's class: a copy started later activates only a window of this class.
inline constexpr wchar_t kMainWindowClass[] = L"TavelinMain";
