#include "core/MRestartState.h"

#include <algorithm>
#include <string>

#include "core/MMapText.h"

namespace MRestartState {

namespace {

// The entries of a map the driver takes (none for no map), 8 hex digits each; nothing for a
// value it does not take as a map.
std::optional<std::vector<std::string>> EntriesOf(const MapValue& value) {
    if (value.kind == MapValue::Kind::Missing)
        return std::vector<std::string>{};
    if (value.kind != MapValue::Kind::Binary || !MMapText::IsWellFormedMap(value.bytes))
        return std::nullopt;
    const std::string list = MMapText::EntryListOf(MMapText::BytesToHex(value.bytes));
    std::vector<std::string> entries;
    for (std::size_t at = 0; at < list.size(); at += MMapText::kEntryDigits)
        entries.push_back(list.substr(at, MMapText::kEntryDigits));
    return entries;
}

// Whether two entries remap one key (the old code, the entry's last four digits): then the
// order decides which of them the driver follows.
bool RemapsAKeyTwice(std::vector<std::string> entries) {
    for (std::string& entry : entries)
        entry = entry.substr(4);
    std::sort(entries.begin(), entries.end());
    return std::adjacent_find(entries.begin(), entries.end()) != entries.end();
}

} // namespace

std::string_view Keyword(State state) {
    switch (state) {
    case State::Pending:
        return "PENDING";
    case State::No:
        return "NO";
    default:
        return "UNKNOWN";
    }
}

bool SameEffect(const MapValue& a, const MapValue& b) {
    auto entriesA = EntriesOf(a), entriesB = EntriesOf(b);
    if (!entriesA || !entriesB)
        return a == b && a.kind != MapValue::Kind::Unreadable;
    if (!RemapsAKeyTwice(*entriesA)) {
        std::sort(entriesA->begin(), entriesA->end());
        std::sort(entriesB->begin(), entriesB->end());
    }
    return *entriesA == *entriesB;
}

State StateOf(const Record& record, const MapValue& stored, std::optional<bool> writtenSinceStart) {
    if (stored.kind == MapValue::Kind::Unreadable)
        return State::Unknown;
    switch (record.kind) {
    case Record::Kind::Known:
        return SameEffect(record.inEffect, stored) ? State::No : State::Pending;
    case Record::Kind::None:
        // Nothing of Tavelin's since the start: the map is the one the driver read, unless
        // another program wrote it since.
        return writtenSinceStart == false ? State::No : State::Unknown;
    default:
        return State::Unknown;
    }
}

std::optional<MapValue> InEffectBeforeFirstWrite(const MapValue& stored,
                                                 std::optional<bool> writtenSinceStart) {
    const bool mapOrNone =
        stored.kind == MapValue::Kind::Missing || stored.kind == MapValue::Kind::Binary;
    if (writtenSinceStart != false || !mapOrNone)
        return std::nullopt;
    return stored;
}

} // namespace MRestartState
