#include <gtest/gtest.h>

#include "core/AccessKey.h"

// A label as a screen reader reads it and the access key it names (plain labels: end to end).
TEST(AccessKeyTest, ReadAndNamed) {
    const struct {
        const char* label;
        const char* reads;
        const char* shortcut;
    } cases[] = {
        {.label = "Save && &quit", .reads = "Save & quit", .shortcut = "Alt+Q"}, // not "&&"
        {.label = "&\xC3\x84ndern", .reads = "\xC3\x84ndern", .shortcut = "Alt+\xC3\x84"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WithoutAccessKey(c.label), c.reads) << c.label;
        EXPECT_EQ(AccessKeyShortcut(c.label), c.shortcut) << c.label;
    }
}
