// Design-time settings of an icon drop-down list: a small bag of named values that the control
// reads when it is loaded and writes when its container saves it. Keys and defaults are those
// the stored forms use, so a bag written by one version loads in another.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

// A font as stored: face, size in points and attributes.
struct MivoFont {
    std::string Name = "MS Sans Serif";
    double Size = 8.25;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strikethrough = false;
    std::int32_t Charset = 1; // DEFAULT_CHARSET
    bool operator==(const MivoFont&) const = default;
};

using MivoPropValue = std::variant<bool, std::int16_t, std::int32_t, MivoFont>;

namespace MivoCboExKey {
inline constexpr std::string_view Style = "Style";
inline constexpr std::string_view Enabled = "Enabled";
inline constexpr std::string_view ExtendedUI = "ExtendedUI";
inline constexpr std::string_view DropDownWidth = "DropDownWidth";
inline constexpr std::string_view AutoCompleteListItemsOnly = "AutoCompleteListItemsOnly";
inline constexpr std::string_view AutoCompleteItemsAreSorted = "AutoCompleteItemsAreSorted";
inline constexpr std::string_view DoAutoComplete = "DoAutoComplete";
inline constexpr std::string_view DrawStyle = "DrawStyle";
inline constexpr std::string_view Redraw = "Redraw";
inline constexpr std::string_view Font = "Font";
} // namespace MivoCboExKey

class MivoCboExProps {
  public:
    // A missing key reads as the default given. Numbers and booleans convert into each other;
    // a font where a number is expected (or the reverse) raises 13 (type mismatch).
    bool ReadBool(std::string_view key, bool def) const;
    std::int32_t ReadLong(std::string_view key, std::int32_t def) const;
    std::optional<MivoFont> ReadFont(std::string_view key) const;

    // A value equal to its default is not stored, as containers do it.
    void Write(std::string_view key, MivoPropValue value, const MivoPropValue& def);
    void Write(std::string_view key, MivoPropValue value);

    bool Has(std::string_view key) const { return values_.find(key) != values_.end(); }
    std::size_t Size() const { return values_.size(); }
    bool operator==(const MivoCboExProps&) const = default;

  private:
    const MivoPropValue* Find(std::string_view key) const;
    std::map<std::string, MivoPropValue, std::less<>> values_;
};
