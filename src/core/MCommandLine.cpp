#include "core/MCommandLine.h"

#include <algorithm>
#include <charconv>

#include "core/CKeyRows.h"
#include "core/MMapText.h"
#include "core/Product.h"

namespace MCommandLine {

namespace {

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// The key row whose default option is named name (CAPSLOCK, INSERT, SCROLL), or -1.
int KeyRowNamed(const MKeys::Table& catalogue, std::string_view name) {
    const std::string upper = Upper(name);
    for (int row = 0; row < kKeyCount; ++row)
        if (catalogue.ById(row)->NAME == upper)
            return row;
    return -1;
}

bool IsKeyPair(const MKeys::Table& catalogue, std::string_view arg) {
    const std::size_t eq = arg.find('=');
    return eq != std::string_view::npos && KeyRowNamed(catalogue, arg.substr(0, eq)) >= 0;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The option named by its NAME or its ID in decimal, or nullptr.
const KeyOption* OptionNamed(const MKeys::Table& catalogue, std::string_view name) {
    std::int32_t id = 0;
    const char* end = name.data() + name.size();
    if (!name.empty() && name.front() != '-') {
        const auto [ptr, ec] = std::from_chars(name.data(), end, id);
        if (ec == std::errc() && ptr == end)
            return catalogue.ById(id);
    }
    const std::string upper = Upper(name);
    for (const KeyOption& option : catalogue.Rows())
        if (option.NAME == upper)
            return &option;
    return nullptr;
}

std::string_view KeyName(const MKeys::Table& catalogue, int row) {
    return catalogue.ById(row)->NAME;
}

Failure UsageError(Language lang, const std::string& message) {
    return {message + Pick(lang, " (Aufruf: tavelin /?)", " (usage: tavelin /?)"), kExitUsage};
}

// "new code 1D00", or "new codes 2A00 1D00" for a key with several entries.
std::string NewCodesText(const std::vector<std::string>& codes, Language lang) {
    std::string text = codes.size() == 1 ? Pick(lang, "neuer Code", "new code")
                                         : Pick(lang, "neue Codes", "new codes");
    for (const std::string& code : codes)
        text += " " + code;
    return text;
}

constexpr char kCrLf[] = "\r\n";

// The first choice that the rows refuse: a locked key or an option the key does not offer; its
// sentence ends with tail.
std::optional<std::string> ChoiceRefusal(const Command& command, const CKeyRows& rows,
                                         Language lang, const std::string& tail,
                                         const MKeys::Table& catalogue) {
    for (const KeyChoice& choice : command.choices) {
        const std::string key(KeyName(catalogue, choice.row));
        if (rows.Locked(choice.row))
            return key + Pick(lang, " ist gesperrt (", " is locked (") +
                   NewCodesText(rows.EntryCodes(choice.row), lang) + ")." + tail;
        const auto& offered = rows.Offered(choice.row);
        if (std::find(offered.begin(), offered.end(), choice.optionId) == offered.end())
            return std::string(catalogue.ById(choice.optionId)->NAME) +
                   Pick(lang, " wird für ", " is not offered for ") + key +
                   Pick(lang, " nicht angeboten.", ".") + tail;
    }
    return std::nullopt;
}

} // namespace

bool NamesACommand(std::span<const std::string> args) {
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& arg) { return arg.starts_with('/'); });
}

int ExitCodeFor(EditOutcome outcome) {
    if (outcome == EditOutcome::Written || outcome == EditOutcome::NothingToChange)
        return kExitDone;
    return IsRefusal(outcome) ? kExitRefused : kExitSystemFailure;
}

int RestartCodeFor(EditOutcome outcome, MRestartState::State after, bool restartStarted) {
    if (outcome != EditOutcome::Written)
        return ExitCodeFor(outcome);
    if (restartStarted)
        return kExitRestartStarted;
    return after == MRestartState::State::No ? kExitDone : kExitRestartNeeded;
}

std::variant<Command, Failure> Parse(std::span<const std::string> args, Language lang,
                                     const MKeys::Table& catalogue) {
    Command command;
    if (!NamesACommand(args))
        return command;
    for (const std::string& arg : args)
        if (arg == "/?")
            return Command{Action::Usage, {}, {}, false, false};

    bool haveAction = false;
    std::vector<std::string_view> pairs;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.starts_with('/')) {
            const std::string name = Upper(arg);
            if (name == "/RESTART") {
                command.restart = true;
                continue;
            }
            if (name == "/RESTARTCODES") {
                command.restartCodes = true;
                continue;
            }
            Action action;
            if (name == "/STATUS")
                action = Action::Status;
            else if (name == "/SET")
                action = Action::Set;
            else if (name == "/RESTORE")
                action = Action::Restore;
            else if (name == "/EXPORT")
                action = Action::Export;
            else if (name == "/CHECK")
                action = Action::Check;
            else
                return UsageError(lang,
                                  Pick(lang, "Unbekannter Schalter: ", "Unknown switch: ") + arg);
            if (haveAction)
                return UsageError(lang, Pick(lang,
                                             "Nur einer der Schalter /status, /set, /restore, "
                                             "/check, /export ist erlaubt",
                                             "Only one of /status, /set, /restore, /check, /export "
                                             "may be given"));
            haveAction = true;
            command.action = action;
            if (action == Action::Export) {
                // A switch or a KEY=OPTION pair where the file belongs means it was left out.
                const bool missing = i + 1 == args.size() || args[i + 1].empty() ||
                                     args[i + 1].starts_with('/') ||
                                     IsKeyPair(catalogue, args[i + 1]);
                if (missing)
                    return UsageError(lang, Pick(lang, "Dateiname nach /export fehlt",
                                                 "File name missing after /export"));
                command.file = args[++i];
            }
        } else if (arg.find('=') != std::string::npos) {
            pairs.push_back(arg);
        } else {
            return UsageError(
                lang,
                Pick(lang, "KEY=OPTION erwartet statt: ", "Expected KEY=OPTION, not: ") + arg);
        }
    }

    if (!haveAction)
        return UsageError(
            lang, Pick(lang, "Schalter fehlt: /status, /set, /restore, /check, /export oder /?",
                       "Switch missing: /status, /set, /restore, /check, /export or /?"));
    const bool takesPairs = command.action == Action::Set || command.action == Action::Export ||
                            command.action == Action::Check;
    if (!takesPairs && !pairs.empty())
        return UsageError(lang, Pick(lang, "Unerwartetes Argument: ", "Unexpected argument: ") +
                                    std::string(pairs.front()));
    const bool writes = command.action == Action::Set || command.action == Action::Restore;
    if (command.restart && !writes)
        return UsageError(lang, Pick(lang, "/restart gilt nur mit /set oder /restore",
                                     "/restart goes only with /set or /restore"));
    if (command.restartCodes && !writes)
        return UsageError(lang, Pick(lang, "/restartcodes gilt nur mit /set oder /restore",
                                     "/restartcodes goes only with /set or /restore"));
    if (command.action == Action::Set && pairs.empty())
        return UsageError(lang, Pick(lang, "/set braucht mindestens ein KEY=OPTION",
                                     "/set needs at least one KEY=OPTION"));
    if (command.action == Action::Check && pairs.empty())
        return UsageError(lang, Pick(lang, "/check braucht mindestens ein KEY=OPTION",
                                     "/check needs at least one KEY=OPTION"));

    for (const std::string_view pair : pairs) {
        const std::size_t eq = pair.find('=');
        const std::string_view keyName = pair.substr(0, eq);
        const std::string_view optionName = pair.substr(eq + 1);
        const int row = KeyRowNamed(catalogue, keyName);
        if (row < 0)
            return UsageError(lang, Pick(lang, "Unbekannte Taste: ", "Unknown key: ") +
                                        std::string(keyName) +
                                        Pick(lang, " (Tasten: CAPSLOCK, INSERT, SCROLL)",
                                             " (keys: CAPSLOCK, INSERT, SCROLL)"));
        const KeyOption* option = OptionNamed(catalogue, optionName);
        if (option == nullptr)
            return UsageError(lang, Pick(lang, "Unbekannte Funktion: ", "Unknown option: ") +
                                        std::string(optionName));
        const bool twice = std::any_of(command.choices.begin(), command.choices.end(),
                                       [row](const KeyChoice& c) { return c.row == row; });
        if (twice)
            return UsageError(lang, Pick(lang, "Taste doppelt angegeben: ", "Key named twice: ") +
                                        std::string(KeyName(catalogue, row)));
        command.choices.push_back({row, option->ID});
    }
    return command;
}

std::optional<Failure> Apply(const Command& command, CKeyRows& rows, Language lang,
                             const MKeys::Table& catalogue) {
    if (command.action != Action::Set && command.action != Action::Export)
        return std::nullopt;
    if (!rows.MapWellFormed())
        return Failure{OutcomeText(EditOutcome::NotWellFormed, lang), kExitRefused};
    // Check every choice before changing a row, so a refusal leaves the rows as found.
    if (auto refusal = ChoiceRefusal(
            command, rows, lang,
            Pick(lang, " Es wurde nichts geschrieben.", " Nothing was written."), catalogue))
        return Failure{std::move(*refusal), kExitRefused};
    for (int row = 0; row < kKeyCount; ++row)
        rows.Deselect(row);
    for (const KeyChoice& choice : command.choices)
        rows.Select(choice.row, choice.optionId);
    return std::nullopt;
}

CheckResult Check(const Command& command, const CKeyRows& rows, Language lang,
                  const MKeys::Table& catalogue) {
    if (!rows.MapWellFormed())
        return {Pick(lang, "Die gespeicherte Scancode Map ist nicht wohlgeformt.",
                     "The stored Scancode Map is not well formed.") +
                    std::string(kCrLf),
                kExitRefused};
    if (auto refusal = ChoiceRefusal(command, rows, lang, "", catalogue))
        return {*refusal + kCrLf, kExitRefused};
    std::string differs;
    for (const KeyChoice& choice : command.choices) {
        const std::int32_t has = rows.Preselection(choice.row).value();
        if (has != choice.optionId)
            differs += std::string(KeyName(catalogue, choice.row)) +
                       Pick(lang, " hat die Funktion ", " has the function ") +
                       std::string(catalogue.ById(has)->NAME) + Pick(lang, ", nicht ", ", not ") +
                       std::string(catalogue.ById(choice.optionId)->NAME) + "." + kCrLf;
    }
    if (!differs.empty())
        return {differs, kExitDiffers};
    return {Pick(lang, "Die Tasten haben diese Funktionen.", "The keys have these functions.") +
                std::string(kCrLf),
            kExitDone};
}

std::string StatusText(const CKeyRows& rows, bool backupExists, const MKeys::Table& catalogue) {
    std::string text;
    if (!rows.MapWellFormed()) {
        text += "MAP=NOT WELL FORMED";
        text += kCrLf;
    } else {
        for (int row = 0; row < kKeyCount; ++row) {
            text += std::string(KeyName(catalogue, row)) + "=";
            if (const auto id = rows.Preselection(row))
                text += catalogue.ById(*id)->NAME;
            else
                text += "LOCKED (" + NewCodesText(rows.EntryCodes(row), Language::English) + ")";
            text += kCrLf;
        }
    }
    text += backupExists ? "BACKUP=YES" : "BACKUP=NO";
    text += kCrLf;
    return text;
}

std::string StatusDetailText(MRestartState::State state, const MRestartState::MapValue& map,
                             const MRestartState::MapValue& backup) {
    const auto bytes = [](const MRestartState::MapValue& value) -> std::string {
        switch (value.kind) {
        case MRestartState::MapValue::Kind::Missing:
            return "NONE";
        case MRestartState::MapValue::Kind::Binary:
            return MMapText::BytesToHex(value.bytes); // as reg query shows REG_BINARY
        case MRestartState::MapValue::Kind::Other:
            return "NOT BINARY";
        default:
            return "UNREADABLE";
        }
    };
    return "RESTART=" + std::string(MRestartState::Keyword(state)) + kCrLf +
           "MAPBYTES=" + bytes(map) + kCrLf + "BACKUPBYTES=" + bytes(backup) + kCrLf;
}

std::string UsageText(Language lang, const MKeys::Table& catalogue) {
    std::string text = std::string(Product::kName) +
                       Pick(lang, ": belegt CapsLock, Einfügen und Rollen neu.",
                            ": gives CapsLock, Insert and ScrollLock a new function.");
    text += Pick(lang, R"(

  tavelin /status
  tavelin /set KEY=OPTION [KEY=OPTION ...] [/restart] [/restartcodes]
  tavelin /restore [/restart] [/restartcodes]
  tavelin /check KEY=OPTION [KEY=OPTION ...]
  tavelin /export DATEI [KEY=OPTION ...]
  tavelin /?

/status   zeigt je Taste ihre Funktion (KEY=LOCKED (new code XXXX) für eine
          Belegung, die Tavelin nicht ändert; XXXX ist der Scancode, den die
          Taste jetzt sendet, wie gespeichert: 1D00 linke Strg-Taste, 0000
          aus), BACKUP=YES oder BACKUP=NO, RESTART=PENDING, NO oder UNKNOWN
          (ob die gespeicherte Belegung auf einen Neustart wartet) und die
          Bytes der gespeicherten Belegung und der Sicherung (MAPBYTES=,
          BACKUPBYTES=).
/set      speichert die genannten Funktionen; nicht genannte Tasten behalten
          ihre Einträge. Eine gesperrte Taste oder eine nicht angebotene
          Funktion weist den ganzen Befehl ab.
/restore  schreibt die ganze Belegung von vor Tavelins erster Änderung zurück
          (seither hinzugekommene Einträge anderer Programme gehen verloren)
          und löscht die Sicherung.
/check    prüft, ob die genannten Tasten diese Funktionen haben: Exit-Code 0,
          wenn ja, 1, wenn eine abweicht (in einer Zeile genannt). Ändert
          nichts.
/export   schreibt eine .reg-Datei mit der Scancode Map, die die Auswahl
          ergäbe, und ändert sonst nichts.
/restart  startet den Rechner nach /set oder /restore neu.
/restartcodes  nach /set oder /restore: Exit-Code 3010, wenn die Änderung
          erst nach einem Neustart wirkt, 1641, wenn /restart ihn angefordert
          hat.

Tasten: CAPSLOCK, INSERT, SCROLL. Funktionen (NAME oder ID) und die Tasten,
für die sie angeboten werden:
)",
                 R"(

  tavelin /status
  tavelin /set KEY=OPTION [KEY=OPTION ...] [/restart] [/restartcodes]
  tavelin /restore [/restart] [/restartcodes]
  tavelin /check KEY=OPTION [KEY=OPTION ...]
  tavelin /export FILE [KEY=OPTION ...]
  tavelin /?

/status   prints each key's function (KEY=LOCKED (new code XXXX) for a mapping
          that Tavelin does not change; XXXX is the scan code the key sends
          now, as stored: 1D00 left Ctrl, 0000 turned off), BACKUP=YES or
          BACKUP=NO, then RESTART=PENDING, NO or UNKNOWN (whether the stored
          map waits for a restart) and the bytes of the stored map and of the
          backup (MAPBYTES=, BACKUPBYTES=).
/set      saves the functions named; keys not named keep their entries. A
          locked key or an option not offered refuses the whole command.
/restore  writes back the whole map from before Tavelin's first change
          (other programs' entries added since are lost) and deletes the
          backup.
/check    tells whether the keys named have these functions: exit code 0 when
          they have, 1 when one differs (named in a line). Changes nothing.
/export   writes a .reg file with the Scancode Map that the choice would give,
          and changes nothing else.
/restart  restarts the computer after /set or /restore.
/restartcodes  after /set or /restore: exit code 3010 when the change takes
          effect only after a restart, 1641 when /restart asked for it.

Keys: CAPSLOCK, INSERT, SCROLL. Options (NAME or ID) and the keys that offer
them:
)");
    for (const KeyOption& option : catalogue.Rows()) {
        std::string line = "  " + std::string(option.NAME);
        line.resize(17, ' ');
        line += std::to_string(option.ID);
        line.resize(20, ' ');
        for (int row = 0; row < kKeyCount; ++row)
            if (option.OfferedFor(row))
                line += std::string(KeyName(catalogue, row)) + " ";
        line.resize(43, ' ');
        line += option.DisplayName(lang);
        text += line + "\n";
    }
    text += Pick(lang, R"(
Exit-Codes (ERRORLEVEL):
  0     erledigt; auch: es war nichts zu schreiben; /check: die Tasten haben
        diese Funktionen; mit /restartcodes: die Änderung ist schon wirksam
        (auf die wirksame Belegung zurückgesetzt).
  1     Aufruf fehlerhaft; /export: die Datei kann nicht geschrieben werden;
        /check: eine Taste hat eine andere Funktion.
  2     abgewiesen, nichts geschrieben: gesperrte Taste, Funktion für die
        Taste nicht angeboten, gespeicherte Belegung nicht wohlgeformt,
        Belegung inzwischen von einem anderen Programm geändert (auch: ein
        anderer Schreiber hielt die Sperre länger als 3 Sekunden), keine
        Sicherung zum Wiederherstellen, Sicherung kein Binärwert.
  3     Fehler der Registry oder des Systems: Belegung oder Sicherung nicht
        lesbar oder nicht schreibbar, Sperre der Schreiber von einem anderen
        Konto angelegt; auch nach "Gespeichert." oder "Wiederhergestellt.",
        wenn /restart den Neustart nicht anfordern konnte.
  4     Ausführung nicht erlaubt: Windows-Version nicht unterstützt oder
        keine Administrator-Rechte.
  3010  mit /restartcodes: geschrieben; wirkt erst nach einem Neustart (auch,
        wenn das nicht sicher ist).
  1641  mit /restartcodes und /restart: geschrieben; Neustart angefordert.

Eine .reg-Datei von /export ersetzt beim Import die ganze Scancode Map,
Einträge anderer Programme eingeschlossen, und legt keine Sicherung an.
)",
                 R"(
Exit codes (ERRORLEVEL):
  0     done; also: nothing needed writing; /check: the keys have these
        functions; with /restartcodes: the change is in effect already (set
        back to the map in effect).
  1     usage error; /export: the file cannot be written; /check: a key has
        another function.
  2     refused, nothing written: a locked key, an option not offered for the
        key, a stored map that is not well formed, a map changed by another
        program meanwhile (also: another writer held the lock longer than 3
        seconds), no backup to restore, a backup that is not binary.
  3     registry or system failure: the map or the backup cannot be read or
        written, the writers' lock was made by another account; also after
        "Saved." or "Restored." when /restart could not request the restart.
  4     not allowed to run: a Windows version not supported, or no
        administrator rights.
  3010  with /restartcodes: written; takes effect only after a restart (also
        when that is not certain).
  1641  with /restartcodes and /restart: written; the restart was requested.

A .reg file from /export replaces the whole Scancode Map where it is
imported, other programs' entries included, and makes no backup.
)");
    text += Pick(lang,
                 "\nBeispiel: tavelin /set CAPSLOCK=LSHIFT SCROLL=MUTE /restart\n"
                 "An der Eingabeaufforderung: start /wait tavelin /status (sie wartet\n"
                 "sonst nicht auf ein Fensterprogramm).\n",
                 "\nExample: tavelin /set CAPSLOCK=LSHIFT SCROLL=MUTE /restart\n"
                 "At a command prompt: start /wait tavelin /status (else it does not wait\n"
                 "for a window program).\n");
    // One line end throughout, the console's.
    std::string crlf;
    for (char c : text) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    return crlf;
}

std::string RegFileText(std::string_view entryList) {
    const std::string hex = MMapText::MapHexFor(entryList);
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout]"
                       "\r\n";
    std::string line = "\"Scancode Map\"=hex:";
    // regedit's wrapping: after a byte's comma, a line of 77 columns or more ends with a
    // backslash and the next starts with two blanks.
    for (std::size_t pos = 0; pos < hex.size(); pos += 2) {
        line += Lower(hex[pos]);
        line += Lower(hex[pos + 1]);
        if (pos + 2 == hex.size())
            break;
        line += ',';
        if (line.size() >= 77) {
            text += line + "\\\r\n";
            line = "  ";
        }
    }
    text += line + "\r\n\r\n";
    return text;
}

std::vector<std::uint8_t> Utf16LeWithBom(std::string_view utf8) {
    std::vector<std::uint8_t> bytes = {0xFF, 0xFE};
    const auto put = [&bytes](std::uint32_t unit) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int length = lead < 0x80         ? 1
                           : (lead >> 5) == 6  ? 2
                           : (lead >> 4) == 14 ? 3
                           : (lead >> 3) == 30 ? 4
                                               : 0;
        std::uint32_t cp = length == 1   ? lead
                           : length == 2 ? lead & 0x1F
                           : length == 3 ? lead & 0x0F
                                         : lead & 0x07;
        bool valid = length > 0 && i + static_cast<std::size_t>(length) <= utf8.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            cp = cp << 6 | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        constexpr std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && cp >= kMin[length] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        if (!valid) {
            put(0xFFFD);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            put(0xD800 | (cp - 0x10000) >> 10);
            put(0xDC00 | (cp & 0x3FF));
        } else {
            put(cp);
        }
        i += static_cast<std::size_t>(length);
    }
    return bytes;
}

bool MayHaveArguments(std::wstring_view commandLine) {
    constexpr std::wstring_view kBlank = L" \t";
    std::size_t end = 0;
    if (commandLine.empty())
        return false;
    if (commandLine.front() == L'"') {
        end = commandLine.find(L'"', 1);
        if (end == std::wstring_view::npos)
            return false;
        ++end;
    } else if (kBlank.find(commandLine.front()) != std::wstring_view::npos) {
        return true; // no program name first: the parser's own rules apply
    } else {
        end = commandLine.find_first_of(kBlank);
        if (end == std::wstring_view::npos)
            return false;
    }
    return commandLine.find_first_not_of(kBlank, end) != std::wstring_view::npos;
}

} // namespace MCommandLine
