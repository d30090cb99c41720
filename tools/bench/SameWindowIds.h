// Resource numbers of the same-window yardstick, shared by its resource script and its code.
#pragma once

#define SW_ICON 1
#define SW_STRIP 100
#define SW_KEYCAP_FIRST 101 // + row
#define SW_ARROW 104
#define SW_INFO 105
#define SW_HELP 106
#define SW_DONATE_FIRST 107 // + language
#define SW_DECORATION 109
