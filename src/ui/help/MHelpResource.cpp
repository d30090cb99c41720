#include "ui/help/MHelpResource.h"

#include <windows.h>

#include "win32/MText.h"

namespace MHelpResource {

std::string Bytes(std::string_view name) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    std::wstring wideName = MText::Utf8ToWide(name);
    HRSRC info = ::FindResourceW(module, wideName.c_str(), L"CUSTOM");
    HGLOBAL data = info ? ::LoadResource(module, info) : nullptr;
    const void* bytes = data ? ::LockResource(data) : nullptr;
    if (!bytes)
        kHelpSource.Raise(326, "Resource with identifier '" + std::string(name) + "' not found");
    return std::string(static_cast<const char*>(bytes), ::SizeofResource(module, info));
}

std::string Text(std::string_view name) {
    return MText::AnsiToUtf8(Bytes(name));
}

} // namespace MHelpResource
