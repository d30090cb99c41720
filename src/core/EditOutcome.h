// What a save of the keys' functions or a restore of the backup came to, and the words both
// front ends use for it: the window shows them in a box, the command line prints them.
#pragma once

#include <string>
#include <string_view>

#include "core/Language.h"

enum class EditOutcome {
    Written,         // the map was written (a save also logged its three entries)
    NothingToChange, // the keys already do what was asked: nothing written, logged or restarted
    ChangedByOther,  // the map or its backup changed since the start, or another writer kept
                     // the writers' lock for the whole wait
    NotWellFormed,   // the stored map is never rewritten
    BackupNotBinary, // a backup that cannot be put back byte for byte
    NoBackup,        // nothing to restore from
    Unreadable,      // the map or its backup could not be read (again)
    Failed,          // a registry or system failure, a writers' lock someone else made among them
};

// Refusals write nothing and are no failure: the user is told why and may go on. Unreadable
// and Failed are failures; Written and NothingToChange succeeded.
bool IsRefusal(EditOutcome outcome);

// The outcome's sentence in the language; empty for Written and Failed,
// whose words are the caller's and the failure's.
std::string OutcomeText(EditOutcome outcome, Language lang);
