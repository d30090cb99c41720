#include "keymap/CKeyEdit.h"

#include <utility>

#include "keymap/CScancodeMap.h"
#include "keymap/MRestartRecord.h"
#include "registry/cRegistry.h"
#include "system/MEventLog.h"
#include "win32/ModuleSource.h"
#include "win32/CMachineLock.h"

namespace {

constexpr ErrorSource kSource = ModuleSource("KeyEdit");

// Save and restore check the values, then write: a second writer's check must not pass before
// the first one's writes (a restore deleting the backup under a save that then writes its map
// loses the map from before Tavelin). Writers take only moments; one that waited longer has
// most likely been overtaken.
constexpr wchar_t kWriterLock[] = L"Tavelin.KeyboardLayout.Writer";
constexpr DWORD kWriterWaitMs = 3000;

} // namespace

AppError InLanguage(const AppError& error, Language lang) {
    // The registry class's descriptions are its own English words; its numbers tell enough.
    const bool registry =
        error.Number() == cRegistry::kErrKey || error.Number() == cRegistry::kErrSetValue;
    const std::string german = registry
                                   ? "Ein Wert der Registry konnte nicht geschrieben oder gelöscht "
                                     "werden."
                                   : "Interner Fehler.";
    return AppError(error.Number(), error.Source(), Pick(lang, german, error.Description()));
}

std::string FailureLine(const AppError& error, Language lang) {
    return FailureHeading(error, lang) + ": " + DisplayText(InLanguage(error, lang));
}

CKeyEdit::CKeyEdit(CScancodeMap& map, Language lang) : map_(map), lang_(lang) {}

EditResult CKeyEdit::Outcome(EditOutcome outcome) const {
    return {outcome, OutcomeText(outcome, lang_), std::nullopt};
}

template <typename Write> EditResult CKeyEdit::Locked(const Write& write) const {
    const CMachineLock lock(kWriterLock, kWriterWaitMs);
    if (lock.Result() == CMachineLock::State::Busy)
        return Outcome(EditOutcome::ChangedByOther);
    if (lock.Result() == CMachineLock::State::Failed) {
        const std::string code = std::to_string(lock.Error());
        AppError error = kSource.Error(
            kErrWriterLock,
            Pick(lang_,
                 "Tavelin konnte die Sperre nicht nehmen, die zwei Schreiber der Tastaturbelegung "
                 "voneinander trennt (Systemfehler ",
                 "Tavelin could not take the lock that keeps two writers of the keyboard map apart "
                 "(system error ") +
                code + Pick(lang_, "); es wurde nichts gespeichert.", "); nothing was saved."));
        std::string text = FailureHeading(error, lang_) + ": " + error.Description();
        return {EditOutcome::Failed, std::move(text), std::move(error)};
    }
    // What the driver took at this start, before anything of Tavelin's replaces it.
    MRestartRecord::BeforeWrite(map_.StoredMap());
    try {
        write();
    } catch (const AppError& e) {
        // The one place where the model's error numbers become outcomes.
        switch (e.Number()) {
        case CScancodeMap::kErrChangedSinceStart:
            return Outcome(EditOutcome::ChangedByOther);
        case CScancodeMap::kErrMapNotWellFormed:
            return Outcome(EditOutcome::NotWellFormed);
        case CScancodeMap::kErrBackupNotBinary:
            return Outcome(EditOutcome::BackupNotBinary);
        case CScancodeMap::kErrNotReadable:
            return {EditOutcome::Unreadable, OutcomeText(EditOutcome::Unreadable, lang_), e};
        default:
            return {EditOutcome::Failed, FailureLine(e, lang_), InLanguage(e, lang_)};
        }
    }
    return {EditOutcome::Written, {}, std::nullopt};
}

EditResult CKeyEdit::Save(const std::optional<std::string>& entries,
                          const std::array<std::string, kKeyCount>& logTexts, Unchanged unchanged) {
    if (entries && unchanged == Unchanged::Skip && *entries == map_.CurrentSettingString())
        return Outcome(EditOutcome::NothingToChange);
    // A map that is not well formed has no new entries; the model refuses to rewrite it.
    map_.SetNewSettingString(entries.value_or(map_.CurrentSettingString()));
    EditResult result = Locked([this] { map_.SaveNewSetting(); });
    if (result.outcome == EditOutcome::Written)
        for (const std::string& text : logTexts)
            MEventLog::WriteInformation(text);
    return result;
}

EditResult CKeyEdit::Restore() {
    if (!map_.BackupMapExists())
        return Outcome(EditOutcome::NoBackup);
    EditResult result = Locked([this] { map_.RestoreMap(); });
    // The log then holds every change Tavelin makes, a restore as well as a save.
    if (result.outcome == EditOutcome::Written)
        MEventLog::WriteInformation(
            Pick(lang_,
                 "Ursprüngliche Einstellungen wiederhergestellt: die Belegung von vor Tavelins "
                 "erster Änderung ist zurückgeschrieben, die Sicherung gelöscht.",
                 "Original key settings restored: the map from before Tavelin's first change is "
                 "written back, the backup deleted."));
    return result;
}

MShutdown::Result CKeyEdit::Restart() {
    return MShutdown::ShutdownSystem(MShutdown::GetMachineName(), false, true, true);
}
