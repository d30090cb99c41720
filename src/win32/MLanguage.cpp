#include "win32/MLanguage.h"

#include <windows.h>

namespace MLanguage {

namespace {
Language g_language = Language::English;
} // namespace

void Decide() {
    g_language = LanguageOfLocale(::GetSystemDefaultLCID());
}

Language Current() noexcept {
    return g_language;
}

} // namespace MLanguage
