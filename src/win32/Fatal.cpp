#include "win32/Fatal.h"

#include <windows.h>

#include "core/Product.h"
#include "win32/ErrorSource.h"
#include "win32/Text.h"

namespace {

FatalHandler g_handler = nullptr;

void ShowAndExit(const AppError& error) {
    std::wstring text = L"Error " + std::to_wstring(error.Number());
    if (!error.Source().empty())
        text += L" (" + Utf8ToWide(error.Source()) + L")";
    text += L"\r\n\r\n" + Utf8ToWide(DisplayText(error));
    ::MessageBoxW(nullptr, text.c_str(), Utf8ToWide(Product::kName).c_str(),
                  MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ::ExitProcess(1);
}

} // namespace

std::string ExeName() {
    wchar_t path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, n);
    if (auto slash = name.find_last_of(L"\\/"); slash != std::wstring::npos)
        name.erase(0, slash + 1);
    if (auto dot = name.find_last_of(L'.'); dot != std::wstring::npos)
        name.erase(dot);
    return WideToUtf8(name);
}

FatalHandler SetFatalHandler(FatalHandler handler) noexcept {
    FatalHandler old = g_handler;
    g_handler = handler;
    return old;
}

void ReportFatal(const AppError& error) noexcept {
    try {
        if (g_handler)
            g_handler(error);
        else
            ShowAndExit(error);
    } catch (...) {
        ::ExitProcess(1);
    }
}

void ReportCurrentException() noexcept {
    try {
        throw;
    } catch (const AppError& e) {
        ReportFatal(e);
    } catch (const std::bad_alloc&) {
        ReportFatal(kProgramSource.Error(7, "Out of memory"));
    } catch (const std::exception& e) {
        ReportFatal(kProgramSource.Error(51, e.what()));
    } catch (...) {
        ReportFatal(kProgramSource.Error(51, "Internal error"));
    }
}
