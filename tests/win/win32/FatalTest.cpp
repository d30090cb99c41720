#include <gtest/gtest.h>

#include <stdexcept>

#include "win32/Fatal.h"

namespace {

std::vector<AppError> g_reported;
void Record(const AppError& e) {
    g_reported.push_back(e);
}

struct FatalTest : ::testing::Test {
    void SetUp() override {
        g_reported.clear();
        previous = SetFatalHandler(&Record);
    }
    void TearDown() override { SetFatalHandler(previous); }
    FatalHandler previous = nullptr;
};

} // namespace

// Whatever a callback throws reaches the handler as one AppError, and nothing unwinds further.
TEST_F(FatalTest, GuardedBodiesReportEveryKindOfException) {
    EXPECT_FALSE(RunGuarded([] { throw AppError(381, "x.MivoComboEx", ""); }));
    EXPECT_FALSE(RunGuarded([] { throw std::runtime_error("boom"); }));
    EXPECT_FALSE(RunGuarded([] { throw 42; }));
    EXPECT_TRUE(RunGuarded([] {}));

    ASSERT_EQ(g_reported.size(), 3u);
    EXPECT_EQ(g_reported[0].Number(), 381);
    EXPECT_EQ(DisplayText(g_reported[0]), "Invalid property array index");
    EXPECT_EQ(g_reported[1].Description(), "boom");
    EXPECT_EQ(g_reported[1].Source(), ExeName());
    EXPECT_EQ(g_reported[2].Source(), "win32_tests");
}
