#include "app/CommandLineMode.h"

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string_view>

#include "app/GetLanguageCode.h"
#include "app/MCheckAdmin.h"
#include "app/MMain.h"
#include "core/AppError.h"
#include "core/CommandLine.h"
#include "core/KeyCatalogue.h"
#include "core/KeyRows.h"
#include "keymap/CScancodeMap.h"
#include "system/MEventLog.h"
#include "system/MShutdown.h"
#include "win32/AtomicFile.h"
#include "win32/ConsoleOutput.h"
#include "win32/Text.h"

namespace CommandLineMode {

namespace {

using namespace CommandLine;

ConsoleOutput* g_output = nullptr;

struct Texts {
    bool de;
    const char* operator()(const char* deText, const char* enText) const {
        return de ? deText : enText;
    }
};

// "error 3: The system cannot find the path specified."
std::string SystemErrorText(DWORD code, const Texts& tr) {
    wchar_t text[512] = {};
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               code, 0, text, 512, nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' '))
        --n;
    std::string line = tr("Fehler ", "error ") + std::to_string(code);
    if (n > 0)
        line += ": " + WideToUtf8(std::wstring_view(text, n));
    return line;
}

// Runs a write of the map; the refusals of the model become a line and kExitRefused, any
// other failure goes on to Run.
std::optional<int> Refused(const std::function<void()>& write, const Texts& tr) {
    try {
        write();
        return std::nullopt;
    } catch (const AppError& e) {
        if (e.Number() == CScancodeMap::kErrChangedSinceStart) {
            // The window's own words, for the same stale-view refusal.
            g_output->Line(
                tr("Die Tastaturbelegung wurde seit dem Start von Tavelin von einem anderen "
                   "Programm geändert. Es wurde nichts gespeichert.",
                   "The keyboard map was changed by another program since Tavelin started. "
                   "Nothing was saved."));
            return kExitRefused;
        }
        if (e.Number() == CScancodeMap::kErrMapNotWellFormed ||
            e.Number() == CScancodeMap::kErrBackupNotBinary) {
            g_output->Line(e.Description());
            return kExitRefused;
        }
        throw;
    }
}

// What follows a save or a restore: the restart when asked for, else the reminder.
int Finish(const Command& command, const Texts& tr) {
    if (!command.restart) {
        g_output->Line(tr("Die Änderung wird nach einem Neustart des Rechners wirksam.",
                          "The change takes effect when the computer restarts."));
        return kExitDone;
    }
    if (const auto restart =
            MShutdown::ShutdownSystem(MShutdown::GetMachineName(), false, true, true);
        !restart.requested) {
        // A line, not a box: a box would stall an unattended run.
        if (!restart.failure.empty())
            g_output->Line(restart.failure);
        g_output->Line(tr("Der Neustart konnte nicht angefordert werden.",
                          "The restart could not be requested."));
        return kExitSystemFailure;
    }
    return kExitDone;
}

int Set(const Command& command, CScancodeMap& map, KeyRows& rows, const Texts& tr) {
    const std::string& lang = MMain::LangCode;
    if (auto refusal = Apply(command, rows, lang)) {
        g_output->Line(refusal->message);
        return refusal->exitCode;
    }
    const std::string entries = rows.NewEntries().value();
    // As the window's OK, which stays disabled until a list changes: no write, no log entries,
    // no restart when the keys already do what was asked. Runs from logon scripts stay quiet.
    if (entries == map.CurrentSettingString()) {
        g_output->Line(tr("Die Tasten haben diese Funktionen schon; es wurde nichts geschrieben.",
                          "The keys already have these functions; nothing was written."));
        return kExitDone;
    }
    map.SetNewSettingString(entries);
    if (auto refused = Refused([&] { map.SaveNewSetting(); }, tr))
        return *refused;
    // The window's three entries: every row with what its list would show, the keys not named
    // with their functions as found.
    KeyRows shown(KeyCatalogue(), map.CurrentSettingString(), map.MapIsWellFormed());
    for (const KeyChoice& choice : command.choices)
        shown.Select(choice.row, choice.optionId);
    for (const std::string& text : shown.LogTexts(lang))
        MEventLog::WriteInformation(text);
    g_output->Line(tr("Gespeichert.", "Saved."));
    return Finish(command, tr);
}

int Restore(const Command& command, CScancodeMap& map, const Texts& tr) {
    // The window offers Restore only when a backup exists.
    if (!map.BackupMapExists()) {
        g_output->Line(tr("Es gibt keine Sicherung, die wiederhergestellt werden könnte. Es wurde "
                          "nichts geschrieben.",
                          "There is no backup to restore. Nothing was written."));
        return kExitRefused;
    }
    if (auto refused = Refused([&] { map.RestoreMap(); }, tr))
        return *refused;
    g_output->Line(tr("Wiederhergestellt.", "Restored."));
    return Finish(command, tr);
}

int Export(const Command& command, KeyRows& rows, const Texts& tr) {
    if (auto refusal = Apply(command, rows, MMain::LangCode)) {
        g_output->Line(refusal->message);
        return refusal->exitCode;
    }
    const auto bytes = Utf16LeWithBom(RegFileText(rows.NewEntries().value()));
    if (const auto error = AtomicFile::Write(Utf8ToWide(command.file), bytes)) {
        g_output->Line(
            tr("Die Datei kann nicht geschrieben werden: ", "The file cannot be written: ") +
            command.file + " (" + SystemErrorText(*error, tr) + ")");
        return kExitUsage;
    }
    g_output->Line(tr("Geschrieben: ", "Written: ") + command.file);
    return kExitDone;
}

int Execute(std::span<const std::string> args) {
    const std::string& lang = MMain::LangCode;
    const Texts tr{lang == "DE"};
    MKeys::BuildKeyCatalogue();

    const auto parsed = Parse(args, lang);
    if (const auto* failure = std::get_if<Failure>(&parsed)) {
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
        g_output->Line(MMain::RefusalText(MMain::Refusal::UnsupportedWindows));
        return kExitNotAllowed;
    }
    if (!MCheckAdmin::IsAdmin()) {
        g_output->Line(MMain::RefusalText(MMain::Refusal::NoAdministratorRights));
        return kExitNotAllowed;
    }

    CScancodeMap map;
    KeyRows rows(KeyCatalogue(), map.CurrentSettingString(), map.MapIsWellFormed());
    switch (command.action) {
    case Action::Status:
        g_output->Write(StatusText(rows, map.BackupMapExists()));
        return kExitDone;
    case Action::Set:
        return Set(command, map, rows, tr);
    case Action::Restore:
        return Restore(command, map, tr);
    case Action::Export:
        return Export(command, rows, tr);
    default:
        return kExitUsage;
    }
}

} // namespace

std::vector<std::string> Arguments() {
    const wchar_t* line = ::GetCommandLineW();
    if (!CommandLine::MayHaveArguments(line))
        return {};
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(line, &count);
    std::vector<std::string> args;
    if (!argv)
        return args;
    for (int i = 1; i < count; ++i)
        args.push_back(WideToUtf8(argv[i]));
    ::LocalFree(argv);
    return args;
}

int Run(std::span<const std::string> args) {
    ConsoleOutput output;
    g_output = &output;
    MMain::LangCode = MMain::GetLanguageCode();
    const bool de = MMain::LangCode == "DE";
    try {
        return Execute(args);
    } catch (const AppError& e) {
        std::string line = std::string(de ? "Fehler " : "Error ") + std::to_string(e.Number());
        if (!e.Source().empty())
            line += " (" + e.Source() + ")";
        output.Line(line + ": " + DisplayText(e));
    } catch (const std::exception& e) {
        output.Line(std::string(de ? "Fehler: " : "Error: ") + e.what());
    } catch (...) {
        output.Line(de ? "Interner Fehler." : "Internal error.");
    }
    return kExitSystemFailure;
}

} // namespace CommandLineMode
