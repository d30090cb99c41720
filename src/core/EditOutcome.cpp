#include "core/EditOutcome.h"

bool IsRefusal(EditOutcome outcome) {
    switch (outcome) {
    case EditOutcome::ChangedByOther:
    case EditOutcome::NotWellFormed:
    case EditOutcome::BackupNotBinary:
    case EditOutcome::NoBackup:
        return true;
    default:
        return false;
    }
}

std::string OutcomeText(EditOutcome outcome, Language lang) {
    switch (outcome) {
    case EditOutcome::NothingToChange:
        return Pick(lang, "Die Tasten haben diese Funktionen schon; es wurde nichts geschrieben.",
                    "The keys already have these functions; nothing was written.");
    case EditOutcome::ChangedByOther:
        // The list a window shows, or the map a command read, is no longer what is stored.
        return Pick(lang,
                    "Die Tastaturbelegung wurde seit dem Start von Tavelin von einem anderen "
                    "Programm geändert. Es wurde nichts gespeichert.",
                    "The keyboard map was changed by another program since Tavelin started. "
                    "Nothing was saved.");
    case EditOutcome::NotWellFormed:
        return Pick(lang,
                    "Die gespeicherte Scancode Map ist nicht wohlgeformt; Tavelin schreibt sie "
                    "nicht neu. Es wurde nichts geschrieben.",
                    "The stored Scancode Map is not well formed; Tavelin does not rewrite it. "
                    "Nothing was written.");
    case EditOutcome::BackupNotBinary:
        return Pick(lang,
                    "Der gespeicherte Wert TVLN Backup ist kein Binärwert: Tavelin stellt ihn "
                    "nicht wieder her und ändert die Belegung nicht, solange er nicht "
                    "wiederhergestellt werden kann. Es wurde nichts geschrieben.",
                    "The stored TVLN Backup is not a binary value: Tavelin does not restore it, "
                    "nor change the map while it cannot be restored. Nothing was written.");
    case EditOutcome::NoBackup:
        return Pick(lang,
                    "Es gibt keine Sicherung, die wiederhergestellt werden könnte. Es wurde "
                    "nichts geschrieben.",
                    "There is no backup to restore. Nothing was written.");
    case EditOutcome::Unreadable:
        return Pick(lang,
                    "Tavelin konnte die Tastaturbelegung oder ihre Sicherung nicht lesen und "
                    "ändert nichts.",
                    "Tavelin could not read the keyboard map or its backup and changes nothing.");
    default:
        return {};
    }
}
