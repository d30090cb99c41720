#include "ui/controls/MivoCboExProps.h"

#include "ui/controls/MivoCboExInternal.h"

const MivoPropValue* MivoCboExProps::Find(std::string_view key) const {
    auto it = values_.find(key);
    return it == values_.end() ? nullptr : &it->second;
}

std::int32_t MivoCboExProps::ReadLong(std::string_view key, std::int32_t def) const {
    const MivoPropValue* v = Find(key);
    if (!v)
        return def;
    return std::visit(
        [](const auto& x) -> std::int32_t {
            if constexpr (std::is_same_v<std::decay_t<decltype(x)>, MivoFont>)
                mivo::kSource.Raise(13); // type mismatch
            else
                return static_cast<std::int32_t>(x);
        },
        *v);
}

bool MivoCboExProps::ReadBool(std::string_view key, bool def) const {
    return ReadLong(key, def ? 1 : 0) != 0;
}

std::optional<MivoFont> MivoCboExProps::ReadFont(std::string_view key) const {
    const MivoPropValue* v = Find(key);
    if (!v)
        return std::nullopt;
    if (const auto* f = std::get_if<MivoFont>(v))
        return *f;
    mivo::kSource.Raise(13); // type mismatch
}

void MivoCboExProps::Write(std::string_view key, MivoPropValue value, const MivoPropValue& def) {
    if (value == def)
        values_.erase(std::string(key));
    else
        Write(key, std::move(value));
}

void MivoCboExProps::Write(std::string_view key, MivoPropValue value) {
    values_.insert_or_assign(std::string(key), std::move(value));
}
