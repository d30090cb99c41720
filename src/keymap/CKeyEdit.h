// Saving the keys' new functions and putting the backup back, as the window and the command line
// both do it: one writer at a time on the machine, the model's checks and writes, the three
// event-log entries of a save and the one of a restore, and the restart that makes a change take
// effect. The front ends turn the result into a box or a line and an exit code.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/AppError.h"
#include "core/EditOutcome.h"
#include "core/MKeys.h"
#include "system/MShutdown.h"

class CScancodeMap;

struct EditResult {
    EditOutcome outcome;
    // What to tell the user, in the language: the outcome's sentence, for Failed the failure's
    // line (FailureLine); empty when Written.
    std::string text;
    // Unreadable and Failed: the error for the window's error box, for Failed with its
    // description in the language (InLanguage).
    std::optional<AppError> error;
};

class CKeyEdit {
  public:
    // The writers' lock could not be taken: its name belongs to an object that Administrators
    // or SYSTEM do not own, or the system refused it. Another writer holding it is a refusal.
    static constexpr std::int32_t kErrWriterLock = static_cast<std::int32_t>(0x80046A05u);

    // map: the program's one scancode-map object, read at start.
    CKeyEdit(CScancodeMap& map, Language lang);

    // Entries that are those found: the window's OK writes them all the same (a change enabled
    // it, and what it writes is what the user confirmed); a command writes and logs nothing, so
    // that it can run at every logon.
    enum class Unchanged { Write, Skip };

    // Writes entries as the map (the backup of the map found first), then the three event-log
    // entries logTexts. Nothing for entries: the map is not well formed, which is refused.
    EditResult Save(const std::optional<std::string>& entries,
                    const std::array<std::string, kKeyCount>& logTexts, Unchanged unchanged);
    // Puts the backup back as the map and removes it, then one event-log entry.
    EditResult Restore();

    // Asks Windows to restart this computer now, without forcing applications closed.
    static MShutdown::Result Restart();

  private:
    template <typename Write> EditResult Locked(const Write& write) const;
    EditResult Outcome(EditOutcome outcome) const;

    CScancodeMap& map_;
    Language lang_;
};

// The error with a description the user can read: in German, words for the kind of failure
// instead of the error's own English ones.
AppError InLanguage(const AppError& error, Language lang);

// "Error 26001 (tavelin.cRegistry): description" in the language (InLanguage).
std::string FailureLine(const AppError& error, Language lang);
