#include "win32/MFatal.h"

#include <windows.h>

#include "core/Product.h"
#include "win32/ModuleSource.h"
#include "win32/MLanguage.h"
#include "win32/Seam.h"
#include "win32/MText.h"

void MFatal::ShowFatalAndExit(const AppError& error) {
    const std::string text =
        FailureHeading(error, MLanguage::Current()) + "\r\n\r\n" + DisplayText(error);
    ::MessageBoxW(nullptr, MText::Utf8ToWide(text).c_str(),
                  MText::Utf8ToWide(Product::kName).c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ::ExitProcess(1);
}

std::string MFatal::ExeName() {
    wchar_t path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, n);
    if (auto slash = name.find_last_of(L"\\/"); slash != std::wstring::npos)
        name.erase(0, slash + 1);
    if (auto dot = name.find_last_of(L'.'); dot != std::wstring::npos)
        name.erase(dot);
    return MText::WideToUtf8(name);
}

void MFatal::ReportFatal(const AppError& error) noexcept {
    try {
        Seam<MFatal::Calls>::Current().report(error);
    } catch (...) {
        ::ExitProcess(1);
    }
}

AppError MFatal::CurrentExceptionAsError() noexcept {
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

void MFatal::ReportCurrentException() noexcept {
    MFatal::ReportFatal(MFatal::CurrentExceptionAsError());
}
