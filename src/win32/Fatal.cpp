#include "win32/Fatal.h"

#include <windows.h>

#include "core/Product.h"
#include "win32/ErrorSource.h"
#include "win32/MLanguage.h"
#include "win32/Seam.h"
#include "win32/Text.h"

void ShowFatalAndExit(const AppError& error) {
    const std::string text =
        FailureHeading(error, MLanguage::Current()) + "\r\n\r\n" + DisplayText(error);
    ::MessageBoxW(nullptr, Utf8ToWide(text).c_str(), Utf8ToWide(Product::kName).c_str(),
                  MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ::ExitProcess(1);
}

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

void ReportFatal(const AppError& error) noexcept {
    try {
        Seam<FatalCalls>::Current().report(error);
    } catch (...) {
        ::ExitProcess(1);
    }
}

AppError CurrentExceptionAsError() noexcept {
    try {
        try {
            throw;
        } catch (const AppError& e) {
            return e;
        } catch (const std::bad_alloc&) {
            return kProgramSource.Error(7, "Out of memory");
        } catch (const std::exception& e) {
            return kProgramSource.Error(51, e.what());
        } catch (...) {
            return kProgramSource.Error(51, "Internal error");
        }
    } catch (...) {
        // Making the error ran out of memory itself.
        ::ExitProcess(1);
    }
}

void ReportCurrentException() noexcept {
    ReportFatal(CurrentExceptionAsError());
}
