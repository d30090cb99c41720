// Resource IDs of the main window's pictures: read by pictures.rc and by the code, so that both
// always agree. The pictures are drawn by tools/draw_pictures.py.
// The hand cursor is not numbered: it is the named resource "CURSORHAND".
#pragma once

// The program's icon (16, 32 and 48 pixels, 256 colours and 32-bit): the only icon group and the
// lowest number, so it is the first icon of the executable, the one Explorer shows.
#define IDI_TAVELIN 1

// 880 x 30 strip of the 20 list icons (44 x 30 each, in catalogue order) on the mask colour
// RGB(247, 247, 247).
#define IDB_ICON_STRIP 200

// 44 x 30 key caps, one per key row: IDB_KEYCAP_FIRST + row.
#define IDB_KEYCAP_FIRST 201
#define IDB_KEYCAP_CAPSLOCK 201
#define IDB_KEYCAP_INSERT 202
#define IDB_KEYCAP_SCROLLLOCK 203

#define IDB_ARROW 204 // 9 x 17, points right from a key cap to its list
#define IDB_INFO 205  // 16 x 16, in front of a locked row's notice
#define IDB_HELP 206  // 32 x 32 question mark

// 66 x 38 donation buttons: IDB_DONATE_FIRST + 0 German ("Spenden"), + 1 English ("Donate").
#define IDB_DONATE_FIRST 207
#define IDB_DONATE_DE 207
#define IDB_DONATE_EN 208

#define IDB_DECORATION 209 // 170 x 300, pale keyboard with a screwdriver
