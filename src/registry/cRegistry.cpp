#include "registry/cRegistry.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "registry/CRegKey.h"
#include "win32/ModuleSource.h"
#include "win32/MText.h"

namespace {

constexpr REGSAM kAllValueRights = 0x3F; // query, set, create subkey, enumerate, notify, link
constexpr std::uint32_t kClassesRoot = 0x80000000u;
constexpr std::uint32_t kLocalMachine = 0x80000002u;

// A predefined root on 64-bit Windows is the sign-extended 32-bit value.
HKEY RootKey(std::uint32_t classKey) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(classKey)));
}

// This computer's root, or the connected root of another computer's registry.
struct Root {
    HKEY key = nullptr;
    RegistryKey remote;
};

bool OpenRoot(const std::string& machine, std::uint32_t classKey, Root& root) {
    if (machine.empty()) {
        root.key = RootKey(classKey);
        return true;
    }
    if (Registry().ConnectRegistry(machine.c_str(), RootKey(classKey), root.remote.put()) !=
        ERROR_SUCCESS)
        return false;
    root.key = root.remote.get();
    return true;
}

constexpr ErrorSource kSource = ModuleSource("cRegistry");

std::string KeyText(std::uint32_t classKey) {
    return std::to_string(static_cast<std::int32_t>(classKey));
}

std::string DeleteKeyText(std::uint32_t classKey, const std::string& section) {
    return "Failed to delete registry Key: '" + KeyText(classKey) + "',Section: '" +
           MText::AnsiToUtf8(section);
}

// Registry texts are ANSI; descriptions are UTF-8.
std::string DescriptionText(const RegistryValue& value) {
    if (auto text = std::get_if<std::string>(&value))
        return MText::AnsiToUtf8(*text);
    return RegistryValueToText(value);
}

// The value as the ANSI text that an A function stores.
std::string AnsiText(const RegistryValue& value) {
    if (auto text = std::get_if<std::string>(&value))
        return *text;
    if (std::holds_alternative<ByteArray>(value))
        return MText::Utf8ToAnsi(RegistryValueToText(value));
    return RegistryValueToText(value);
}

std::string WriteFailureText(std::uint32_t classKey, const std::string& section,
                             const std::string& valueKey, const RegistryValue& lastWritten) {
    return "Failed to set registry value Key: '" + KeyText(classKey) + "',Section: '" +
           MText::AnsiToUtf8(section) + "',Key: '" + MText::AnsiToUtf8(valueKey) + "' to value: '" +
           DescriptionText(lastWritten) + "'";
}

bool IsRootPath(const std::string& path) {
    return path.find_first_not_of('\\') == std::string::npos;
}

std::string TrimSpaces(const std::string& s) {
    auto first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

} // namespace

bool cRegistry::DeleteValue() {
    RegistryKey key;
    if (Registry().OpenKeyEx(RootKey(classKey_), sectionKey_.c_str(), 0, kAllValueRights,
                             key.put()) != ERROR_SUCCESS)
        kSource.Raise(kErrKey, "Failed to open key '" + KeyText(classKey_) + "',Section: '" +
                                   MText::AnsiToUtf8(sectionKey_) + "' for delete access");
    if (Registry().DeleteValue(key.get(), valueKey_.c_str()) != ERROR_SUCCESS)
        throw DeleteValueError(classKey_, sectionKey_, valueKey_);
    return true;
}

AppError cRegistry::DeleteValueError(std::uint32_t classKey, const std::string& sectionKey,
                                     const std::string& valueKey) {
    return kSource.Error(kErrKey, DeleteKeyText(classKey, sectionKey) + "',Key: '" +
                                      MText::AnsiToUtf8(valueKey));
}

void cRegistry::SetValue(const RegistryValue& vValue) {
    Root root;
    if (!OpenRoot(machine_, classKey_, root))
        kSource.Raise(kErrKey, WriteFailureText(classKey_, sectionKey_, valueKey_, lastWritten_));
    CRegKey key;
    if (key.Create(root.key, sectionKey_.c_str(), REG_OPTION_NON_VOLATILE, kAllValueRights) !=
        ERROR_SUCCESS)
        kSource.Raise(kErrKey, WriteFailureText(classKey_, sectionKey_, valueKey_, lastWritten_));

    auto set = [&](DWORD type, const BYTE* data, std::size_t size) {
        return key.Write(valueKey_.c_str(), type, data, size);
    };
    LONG result = ERROR_SUCCESS;
    switch (valueType_) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        // A name between two percent signs makes it an expandable text.
        std::string text = AnsiText(vValue);
        auto first = text.find('%');
        bool expand = first != std::string::npos && text.find('%', first + 2) != std::string::npos;
        result = set(expand ? REG_EXPAND_SZ : REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     text.size() + 1);
        break;
    }
    case REG_BINARY:
        if (auto array = std::get_if<ByteArray>(&vValue))
            result = set(REG_BINARY, array->bytes.data(), array->bytes.size());
        else if (std::holds_alternative<RegNull>(vValue))
            result = set(REG_BINARY, nullptr, 0);
        else
            throw AppError(kErrKey, "", "");
        break;
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: {
        std::int32_t number = 0;
        if (auto n16 = std::get_if<std::int16_t>(&vValue))
            number = *n16;
        else if (auto n32 = std::get_if<std::int32_t>(&vValue))
            number = *n32;
        else {
            // Storing nothing while the caller believes it stored would hide the loss.
            result = ERROR_INVALID_PARAMETER;
            break;
        }
        DWORD data = static_cast<DWORD>(number);
        result = set(REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
        break;
    }
    default:
        result = ERROR_INVALID_PARAMETER;
        break;
    }
    if (result != ERROR_SUCCESS)
        kSource.Raise(kErrSetValue,
                      WriteFailureText(classKey_, sectionKey_, valueKey_, lastWritten_));
    lastWritten_ = vValue;
}

// --- The rest of the class: nothing of the program calls it. ---

void cRegistry::SetMachine(const std::string& sMachine) {
    if (sMachine.size() < 3)
        machine_.clear();
    else if (sMachine.compare(0, 2, "\\\\") != 0)
        machine_ = "\\\\" + sMachine;
    else
        machine_ = sMachine;
}

bool cRegistry::KeyExists() const {
    return CRegKey().Open(RootKey(classKey_), sectionKey_.c_str(), KEY_QUERY_VALUE) ==
           ERROR_SUCCESS;
}

bool cRegistry::CreateKey() {
    if (CRegKey().Create(RootKey(classKey_), sectionKey_.c_str(), REG_OPTION_NON_VOLATILE,
                         kAllValueRights) != ERROR_SUCCESS)
        kSource.Raise(kErrKey, "Failed to create registry Key: '" + MText::AnsiToUtf8(sectionKey_));
    return true;
}

bool cRegistry::DeleteKey() {
    // An empty path would name the root itself: never hand that to the delete.
    if (IsRootPath(sectionKey_) ||
        Registry().DeleteKey(RootKey(classKey_), sectionKey_.c_str()) != ERROR_SUCCESS)
        kSource.Raise(kErrKey, DeleteKeyText(classKey_, sectionKey_));
    return true;
}

RegistryValue cRegistry::Value() {
    Root root;
    if (!OpenRoot(machine_, classKey_, root))
        return default_;
    CRegKey key;
    if (key.Open(root.key, sectionKey_.c_str(), KEY_QUERY_VALUE) != ERROR_SUCCESS)
        return default_;
    const StoredValue stored = key.Read(valueKey_.c_str());
    if (stored.presence != ValuePresence::Present)
        return default_;
    valueType_ = static_cast<std::int32_t>(stored.type);

    switch (stored.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ: {
        std::string text(stored.bytes.begin(), stored.bytes.end());
        // Drop the terminator only when it is there: a value stored without one keeps its
        // last character.
        if (!text.empty() && text.back() == '\0')
            text.pop_back();
        return stored.type == REG_EXPAND_SZ ? ExpandEnvironmentText(text) : text;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: {
        DWORD number = 0;
        if (stored.bytes.size() > sizeof number)
            return default_;
        std::memcpy(&number, stored.bytes.data(), stored.bytes.size());
        if (stored.type == REG_DWORD_BIG_ENDIAN)
            number = ReverseBytes(number);
        return static_cast<std::int32_t>(number);
    }
    default: {
        // One element more than stored: callers take elements 0 to N - 1.
        ByteArray array{0, stored.bytes};
        array.bytes.push_back(0);
        return array;
    }
    }
}

bool cRegistry::EnumerateValues(std::vector<std::string>& sKeyNames, std::int32_t& iKeyCount) {
    CRegKey key;
    std::optional<std::vector<std::string>> names;
    if (key.Open(RootKey(classKey_), sectionKey_.c_str(), KEY_QUERY_VALUE) == ERROR_SUCCESS)
        names = key.ValueNames();
    sKeyNames = names.value_or(std::vector<std::string>{});
    iKeyCount = static_cast<std::int32_t>(sKeyNames.size());
    return true;
}

bool cRegistry::EnumerateSections(std::vector<std::string>& sSect, std::int32_t& iSectCount) {
    iSectCount = 0;
    sSect.clear();
    RegistryKey key;
    if (Registry().OpenKeyEx(RootKey(classKey_), sectionKey_.c_str(), 0, KEY_ENUMERATE_SUB_KEYS,
                             key.put()) != ERROR_SUCCESS)
        return true;
    try {
        // 255 characters, each up to two bytes in a multi-byte code page, and the terminator.
        std::vector<char> name(2 * 255 + 1);
        for (DWORD index = 0;; ++index) {
            std::fill(name.begin(), name.end(), '\0');
            if (Registry().EnumKey(key.get(), index, name.data(),
                                   static_cast<DWORD>(name.size())) != ERROR_SUCCESS)
                break;
            if (iSectCount == INT32_MAX)
                kSource.Raise(6);
            sSect.emplace_back(name.data());
            ++iSectCount;
        }
    } catch (const AppError& e) {
        kSource.Raise(kErrEnumSections, DisplayText(e));
    } catch (const std::exception& e) {
        kSource.Raise(kErrEnumSections, e.what());
    }
    return true;
}

void cRegistry::CreateEXEAssociation(const std::string& sExePath, const std::string& sClassName,
                                     const std::string& sClassDescription,
                                     const std::string& sAssociation,
                                     const std::string& sOpenMenuText, bool bSupportPrint,
                                     const std::string& sPrintMenuText, bool bSupportNew,
                                     const std::string& sNewMenuText, bool bSupportInstall,
                                     const std::string& sInstallMenuText,
                                     std::int32_t lDefaultIconIndex) {
    std::string trimmed = TrimSpaces(sExePath);
    std::string path = trimmed;
    if (trimmed.empty() || trimmed.front() != '"')
        path.insert(path.begin(), '"');
    if (trimmed.empty() || trimmed.back() != '"')
        path.push_back('"');

    auto write = [&](const std::string& section, const std::string& text) {
        sectionKey_ = section;
        valueKey_.clear();
        WriteClassValue(text);
    };
    auto orDefault = [](const std::string& text, const std::string& fallback) {
        return text.empty() ? fallback : text;
    };
    const std::string shell = sClassName + "\\shell\\";

    valueType_ = REG_SZ;
    write("." + sAssociation, sClassName);
    write(sClassName, sClassDescription);
    write(shell + "open", orDefault(sOpenMenuText, "&Open"));
    write(shell + "open\\command", path + " \"%1\"");
    if (bSupportPrint) {
        write(shell + "print", orDefault(sPrintMenuText, "&Print"));
        write(shell + "print\\command", path + " /p \"%1\"");
    }
    if (bSupportInstall) {
        write(shell + "add", orDefault(sInstallMenuText, "&Install " + sAssociation));
        write(shell + "add\\command", path + " /a \"%1\"");
    }
    if (bSupportNew) {
        write(shell + "new", orDefault(sNewMenuText, "&New"));
        write(shell + "new\\command", path + " /n \"%1\"");
    }
    if (lDefaultIconIndex > -1)
        write(sClassName + "\\DefaultIcon", path + "," + std::to_string(lDefaultIconIndex));
}

std::optional<AppError>
cRegistry::CreateAdditionalEXEAssociations(const std::string& sClassName,
                                           const std::vector<RegistryValue>& vItems) {
    if (vItems.empty() || vItems.size() % 3 != 0)
        return kSource.Error(kErrAssocList,
                             "Invalid parameter list passed to CreateAdditionalEXEAssociations - "
                             "expected Name/Text/Command");
    sectionKey_ = sClassName;
    // Classes are registered below HKEY_CLASSES_ROOT, whatever root the last write left set.
    RegistryKey classKey;
    if (Registry().OpenKeyEx(RootKey(kClassesRoot), sectionKey_.c_str(), 0, KEY_QUERY_VALUE,
                             classKey.put()) != ERROR_SUCCESS)
        return kSource.Error(
            kErrAssocClass,
            "Error - attempt to create additional associations before class defined.");

    // One verb that cannot be written does not stop the others.
    auto tryWrite = [&](const std::string& section, const RegistryValue& text) {
        try {
            valueType_ = REG_SZ;
            sectionKey_ = section;
            valueKey_.clear();
            WriteClassValue(AnsiText(text));
        } catch (const std::exception&) {
        }
    };
    for (std::size_t i = 0; i + 2 < vItems.size(); i += 3) {
        const std::string verb = sClassName + "\\shell\\" + AnsiText(vItems[i]);
        tryWrite(verb, vItems[i + 1]);
        tryWrite(verb + "\\command", vItems[i + 2]);
    }
    return std::nullopt;
}

RegistryValue cRegistry::ValueEx(std::uint32_t& ClassKey, std::string& SectionKey,
                                 std::string& ValueKey, std::int32_t& ValueType,
                                 RegistryValue& Default) {
    SetClassKey(ClassKey);
    SetSectionKey(SectionKey);
    SetValueKey(ValueKey);
    SetValueType(ValueType);
    SetDefault(Default);
    return Value();
}

void cRegistry::SetValueEx(std::uint32_t& ClassKey, std::string& SectionKey, std::string& ValueKey,
                           std::int32_t& ValueType, RegistryValue& Default,
                           RegistryValue& NewValue) {
    SetClassKey(ClassKey);
    SetSectionKey(SectionKey);
    SetValueKey(ValueKey);
    SetValueType(ValueType);
    SetDefault(Default);
    if (valueType_ == REG_SZ && RegistryValueToText(NewValue).empty())
        NewValue = Default;
    SetValue(NewValue);
}

void cRegistry::WriteClassValue(const std::string& text) {
    classKey_ = kClassesRoot;
    SetValue(text);
    const std::string section = sectionKey_;
    classKey_ = kLocalMachine;
    sectionKey_ = "SOFTWARE\\Classes\\" + section;
    try {
        SetValue(text);
    } catch (...) {
        sectionKey_ = section;
        throw;
    }
    sectionKey_ = section;
}

std::uint32_t cRegistry::ReverseBytes(std::uint32_t x) {
    return (x >> 24) | ((x >> 8) & 0x0000FF00u) | ((x << 8) & 0x00FF0000u) | (x << 24);
}

std::string cRegistry::ExpandEnvironmentText(const std::string& t) {
    DWORD needed = ::ExpandEnvironmentStringsA(t.c_str(), nullptr, 0);
    if (needed == 0)
        return t;
    std::string buffer(needed, '\0');
    DWORD written = ::ExpandEnvironmentStringsA(t.c_str(), buffer.data(), needed);
    if (written == 0 || written > needed)
        return t;
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}
