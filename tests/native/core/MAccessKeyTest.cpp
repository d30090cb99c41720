#include <gtest/gtest.h>

#include "core/MAccessKey.h"

// What a screen reader reads of a label: its text and the key that moves to its control. The
// key is a whole character, also one of several UTF-8 bytes (German labels).
TEST(AccessKeyTest, TextAndShortcutOfALabel) {
    struct Case {
        const char* label;
        const char* text;
        const char* shortcut;
    };
    // clang-format off
    const Case cases[] = {
        {.label = "&apply",          .text = "apply",      .shortcut = "Alt+A"},
        {.label = "A && &b",         .text = "A & b",      .shortcut = "Alt+B"},
        {.label = "R\xC3\xBC&\xC3\xBC" "ck", .text = "R\xC3\xBC\xC3\xBC" "ck", .shortcut = "Alt+\xC3\xBC"},
        {.label = "no key",          .text = "no key",     .shortcut = ""},
        {.label = "end&",            .text = "end&",       .shortcut = ""},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(MAccessKey::WithoutAccessKey(c.label), c.text) << c.label;
        EXPECT_EQ(MAccessKey::AccessKeyShortcut(c.label), c.shortcut) << c.label;
    }
}
