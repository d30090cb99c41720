#include "app/MCommandLineMode.h"

#include <windows.h>
#include <shellapi.h>

#include <string_view>

#include "app/MCheckAdmin.h"
#include "app/MMain.h"
#include "core/AppError.h"
#include "core/MCommandLine.h"
#include "core/EditOutcome.h"
#include "core/MKeys.h"
#include "core/CKeyRows.h"
#include "keymap/CScancodeMap.h"
#include "keymap/CKeyEdit.h"
#include "keymap/MRestartRecord.h"
#include "ui/msgbox/MCenterMBX.h"
#include "win32/MAtomicFile.h"
#include "win32/MConsoleEvents.h"
#include "win32/CConsoleOutput.h"
#include "win32/ModuleSource.h"
#include "win32/MFatal.h"
#include "win32/Handles.h"
#include "win32/MLanguage.h"
#include "win32/MText.h"

namespace MCommandLineMode {

namespace {

using namespace MCommandLine;

CConsoleOutput* g_output = nullptr;

// "error 3: The system cannot find the path specified."
std::string SystemErrorText(DWORD code, Language lang) {
    wchar_t text[512] = {};
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               code, 0, text, static_cast<DWORD>(std::size(text)), nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' '))
        --n;
    std::string line = Pick(lang, "Fehler ", "error ") + std::to_string(code);
    if (n > 0)
        line += ": " + MText::WideToUtf8(std::wstring_view(text, n));
    return line;
}

// What follows a save or a restore: the restart when asked for, else the reminder.
int Finish(const Command& command, Language lang) {
    // The map as written, read back: one set back to the map in effect waits for no restart.
    const MRestartState::State after = MRestartRecord::StateOf(CScancodeMap().StoredMap());
    if (!command.restart) {
        g_output->Line(after == MRestartState::State::No
                           ? Pick(lang,
                                  "Die gespeicherte Belegung ist schon wirksam; ein Neustart ist "
                                  "nicht nötig.",
                                  "The map stored is the one in effect; no restart is needed.")
                           : Pick(lang,
                                  "Die Änderung wird nach einem Neustart des Rechners wirksam.",
                                  "The change takes effect when the computer restarts."));
        return command.restartCodes ? RestartCodeFor(EditOutcome::Written, after, false)
                                    : kExitDone;
    }
    if (const auto restart = CKeyEdit::Restart(); !restart.requested) {
        // A line, not a box: a box would stall an unattended run. A failed step is named as
        // Windows names it.
        std::string line = Pick(lang, "Der Neustart konnte nicht angefordert werden",
                                "The restart could not be requested");
        if (!restart.failure.empty())
            line += " (" + restart.failure + ")";
        g_output->Line(line + ".");
        return kExitSystemFailure;
    }
    return command.restartCodes ? RestartCodeFor(EditOutcome::Written, after, true) : kExitDone;
}

// A save's or a restore's result as a line and an exit code.
int Report(const EditResult& result, const Command& command, const char* done, Language lang) {
    if (result.outcome != EditOutcome::Written) {
        g_output->Line(result.text);
        return ExitCodeFor(result.outcome);
    }
    g_output->Line(done);
    return Finish(command, lang);
}

int Set(const Command& command, CScancodeMap& map, CKeyRows& rows, Language lang) {
    if (auto refusal = Apply(command, rows, lang)) {
        g_output->Line(refusal->message);
        return refusal->exitCode;
    }
    // The window's three entries: every row with what its list would show, the keys not named
    // with their functions as found.
    CKeyRows shown(MKeys::Catalogue(), map.CurrentSettingString(), map.MapIsWellFormed());
    for (const KeyChoice& choice : command.choices)
        shown.Select(choice.row, choice.optionId);
    // The writers' lock, the writes, the log entries and the restart request, whole.
    const MConsoleEvents::CSection whole;
    return Report(CKeyEdit(map, lang).Save(rows.NewEntries(), shown.LogTexts(lang),
                                           CKeyEdit::Unchanged::Skip),
                  command, Pick(lang, "Gespeichert.", "Saved."), lang);
}

int Export(const Command& command, CKeyRows& rows, Language lang) {
    if (auto refusal = Apply(command, rows, lang)) {
        g_output->Line(refusal->message);
        return refusal->exitCode;
    }
    const auto bytes = Utf16LeWithBom(RegFileText(rows.NewEntries().value()));
    if (const auto error = MAtomicFile::Write(MText::Utf8ToWide(command.file), bytes)) {
        g_output->Line(Pick(lang, "Die Datei kann nicht geschrieben werden: ",
                            "The file cannot be written: ") +
                       command.file + " (" + SystemErrorText(*error, lang) + ")");
        return kExitUsage;
    }
    g_output->Line(Pick(lang, "Geschrieben: ", "Written: ") + command.file);
    return kExitDone;
}

int Execute(std::span<const std::string> args) {
    const Language lang = MLanguage::Current();

    const auto parsed = Parse(args, lang);
    if (const auto* failure = std::get_if<Failure>(&parsed)) {
        // Started from a shortcut or Explorer a line would reach no one.
        if (!g_output->HasDestination() && failure->exitCode == kExitUsage) {
            MCenterMBX::CenteredMsgBox(failure->message, MB_OK | MB_ICONEXCLAMATION);
        }
        g_output->Line(failure->message);
        return failure->exitCode;
    }
    const Command& command = std::get<Command>(parsed);
    // The usage reads and writes nothing: anyone may ask for it.
    if (command.action == Action::Usage) {
        g_output->Write(UsageText(lang));
        return kExitDone;
    }
    // The window's checks in the window's order, its texts as lines; no single-instance rule:
    // a window open meanwhile is protected by its stale-view check.
    if (!MMain::SupportedWindows()) {
        g_output->Line(MMain::RefusalText(MMain::Refusal::UnsupportedWindows, lang));
        return kExitNotAllowed;
    }
    if (!MCheckAdmin::IsAdmin()) {
        g_output->Line(MMain::RefusalText(MMain::Refusal::NoAdministratorRights, lang));
        return kExitNotAllowed;
    }

    CScancodeMap map;
    // A map that could not be read is not one that is not well formed: what is stored is not
    // known, so nothing can be told or built on it.
    if (!map.MapIsReadable()) {
        g_output->Line(OutcomeText(EditOutcome::Unreadable, lang));
        return ExitCodeFor(EditOutcome::Unreadable);
    }
    CKeyRows rows(MKeys::Catalogue(), map.CurrentSettingString(), map.MapIsWellFormed());
    switch (command.action) {
    case Action::Status:
        g_output->Write(StatusText(rows, map.BackupMapExists()));
        g_output->Write(StatusDetailText(MRestartRecord::StateOf(map.StoredMap()), map.StoredMap(),
                                         map.StoredBackup()));
        return kExitDone;
    case Action::Check: {
        // Reads only: no lock, no write, no log entry, so that it can run as often as asked.
        const CheckResult check = Check(command, rows, lang);
        g_output->Write(check.text);
        return check.exitCode;
    }
    case Action::Set:
        return Set(command, map, rows, lang);
    case Action::Restore: {
        const MConsoleEvents::CSection whole;
        return Report(CKeyEdit(map, lang).Restore(), command,
                      Pick(lang, "Wiederhergestellt.", "Restored."), lang);
    }
    case Action::Export:
        return Export(command, rows, lang);
    default:
        return kExitUsage;
    }
}

} // namespace

std::vector<std::string> Arguments() {
    const wchar_t* line = ::GetCommandLineW();
    if (!MCommandLine::MayHaveArguments(line))
        return {};
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(line, &count);
    const UniqueLocalMemory owner(argv);
    std::vector<std::string> args;
    if (!argv)
        return args;
    for (int i = 1; i < count; ++i)
        args.push_back(MText::WideToUtf8(argv[i]));
    if (!MCommandLine::NamesACommand(args))
        args.clear();
    return args;
}

int Run(std::span<const std::string> args) {
    // Before anything is written: an event is then either before the writes or waits for them.
    MConsoleEvents::Watch();
    CConsoleOutput output;
    g_output = &output;
    MLanguage::Decide();
    try {
        return Execute(args);
    } catch (...) {
        output.Line(FailureLine(MFatal::CurrentExceptionAsError(), MLanguage::Current()));
    }
    return kExitSystemFailure;
}

} // namespace MCommandLineMode
