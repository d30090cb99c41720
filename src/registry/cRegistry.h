// Typed access to one registry value or key, configured through properties and dropped after
// one or a few operations; no key stays open between calls.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/AppError.h"
#include "registry/RegistryValue.h"

class cRegistry {
  public:
    // Error numbers of this class.
    static constexpr std::int32_t kErrKey = 26001;
    static constexpr std::int32_t kErrSetValue = static_cast<std::int32_t>(0x800469A9u);
    static constexpr std::int32_t kErrEnumSections = static_cast<std::int32_t>(0x800469AAu);
    static constexpr std::int32_t kErrAssocList = static_cast<std::int32_t>(0x800469ACu);
    static constexpr std::int32_t kErrAssocClass = static_cast<std::int32_t>(0x800469ADu);

    // The error DeleteValue raises when the value cannot be deleted, for a caller that refuses
    // such a deletion itself.
    static AppError DeleteValueError(std::uint32_t classKey, const std::string& sectionKey,
                                     const std::string& valueKey);

    // --- What the program calls: the scancode map's writes and deletions ---

    void SetValue(const RegistryValue& vValue);
    bool DeleteValue();
    void SetValueType(std::int32_t eValueType) { valueType_ = eValueType; }
    void SetClassKey(std::uint32_t eKey) { classKey_ = eKey; }
    void SetSectionKey(const std::string& sSectionKey) { sectionKey_ = sSectionKey; }
    void SetValueKey(const std::string& sValueKey) { valueKey_ = sValueKey; }

    // --- The rest of the class, kept whole for code that uses it; the program's own reads go
    // through CRegKey. Tested in tests/win/registry. ---

    const std::string& Machine() const { return machine_; }
    // Another computer's registry (Value and SetValue only); a name of fewer than three
    // characters means this computer.
    void SetMachine(const std::string& sMachine);

    bool KeyExists() const;
    bool CreateKey();
    bool DeleteKey();

    // Reading never raises: a missing key or value gives Default. A binary value of N bytes
    // gives a byte array of N + 1 elements, the last an extra 0.
    RegistryValue Value();

    // Names in registry order; sKeyNames[0] is position 1.
    bool EnumerateValues(std::vector<std::string>& sKeyNames, std::int32_t& iKeyCount);
    bool EnumerateSections(std::vector<std::string>& sSect, std::int32_t& iSectCount);

    // Writes the class below HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
    void CreateEXEAssociation(const std::string& sExePath, const std::string& sClassName,
                              const std::string& sClassDescription, const std::string& sAssociation,
                              const std::string& sOpenMenuText = "", bool bSupportPrint = false,
                              const std::string& sPrintMenuText = "", bool bSupportNew = false,
                              const std::string& sNewMenuText = "", bool bSupportInstall = false,
                              const std::string& sInstallMenuText = "",
                              std::int32_t lDefaultIconIndex = -1);
    // vItems: verb, menu text, command, for each verb. The operation's own errors do not abort
    // the caller: they come back as its error result.
    std::optional<AppError>
    CreateAdditionalEXEAssociations(const std::string& sClassName,
                                    const std::vector<RegistryValue>& vItems);

    std::int32_t ValueType() const { return valueType_; }
    std::uint32_t ClassKey() const { return classKey_; }
    const std::string& SectionKey() const { return sectionKey_; }
    const std::string& ValueKey() const { return valueKey_; }
    const RegistryValue& Default() const { return default_; }
    void SetDefault(const RegistryValue& vDefault) { default_ = vDefault; }

    // Copies the five arguments into the properties, then reads or writes Value. The write
    // replaces an empty text NewValue of type 1 by Default, in the caller's variable too.
    RegistryValue ValueEx(std::uint32_t& ClassKey, std::string& SectionKey, std::string& ValueKey,
                          std::int32_t& ValueType, RegistryValue& Default);
    void SetValueEx(std::uint32_t& ClassKey, std::string& SectionKey, std::string& ValueKey,
                    std::int32_t& ValueType, RegistryValue& Default, RegistryValue& NewValue);

  private:
    void WriteClassValue(const std::string& text);
    static std::uint32_t ReverseBytes(std::uint32_t x);
    static std::string ExpandEnvironmentText(const std::string& t);

    std::uint32_t classKey_ = 0;
    std::string sectionKey_;
    std::string valueKey_;
    RegistryValue lastWritten_;
    RegistryValue default_;
    std::int32_t valueType_ = 0;
    std::string machine_;
};
