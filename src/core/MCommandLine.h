// The command line for unattended use: its grammar, its answers and the .reg file it exports.
// Pure code: no registry, no console; the caller reads the map, writes, prints and exits.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/EditOutcome.h"
#include "core/MKeys.h"
#include "core/Language.h"
#include "core/MRestartState.h"

class CKeyRows;

namespace MCommandLine {

// Process exit codes.
inline constexpr int kExitDone = 0;
inline constexpr int kExitUsage = 1;         // the arguments do not parse
inline constexpr int kExitRefused = 2;       // locked key, option not offered, map not well formed
inline constexpr int kExitSystemFailure = 3; // registry or system failure
inline constexpr int kExitNotAllowed = 4;    // platform or administrator check failed
inline constexpr int kExitDiffers = 1;       // /check: a key has another function
// With /restartcodes, the codes that Windows Installer gives and deployment tools know.
inline constexpr int kExitRestartNeeded = 3010;  // written; takes effect after a restart
inline constexpr int kExitRestartStarted = 1641; // written; the command asked for the restart
// Every code the program ends with, in the order /? and the manual list them.
inline constexpr int kExitCodes[] = {kExitDone,          kExitUsage,      kExitRefused,
                                     kExitSystemFailure, kExitNotAllowed, kExitRestartNeeded,
                                     kExitRestartStarted};

enum class Action {
    Window, // no switch among the arguments: the program opens its window
    Usage,  // /?
    Status,
    Set,
    Restore,
    Export,
    Check,
};

struct KeyChoice {
    int row;               // 0 CapsLock, 1 Insert, 2 ScrollLock
    std::int32_t optionId; // a catalogue ID; whether the key offers it is checked by Apply
};

struct Command {
    Action action = Action::Window;
    std::vector<KeyChoice> choices; // /set, /export and /check, in the order given
    std::string file;               // /export
    bool restart = false;           // /set and /restore
    bool restartCodes = false;      // /set and /restore: exit with kExitRestart... codes
};

// A line for the user; the process ends with kExitUsage or kExitRefused.
struct Failure {
    std::string message;
    int exitCode;
};

// Whether a process command line may hold anything after the program name. A plain start
// answers false without the shell's full parser (and without loading the shell at all); an
// unusual line answers true and is left to that parser.
bool MayHaveArguments(std::wstring_view commandLine);

// Whether the arguments name a command: at least one is a switch ("/..."). Others open the window
// as no arguments do: the tail of a program path started without quotes
// ("Files\Tavelin\tavelin.exe"), a file dropped on the program.
bool NamesACommand(std::span<const std::string> args);

// The exit code of a save or restore that came to outcome.
int ExitCodeFor(EditOutcome outcome);
// The same with /restartcodes, once a written map's restart state is known (after) and whether
// the command asked Windows to restart: a written map that is not surely in effect needs a
// restart, also when that is not known.
int RestartCodeFor(EditOutcome outcome, MRestartState::State after, bool restartStarted);

// Parses the arguments after the program name (UTF-8). Switches, keys and options are
// case-insensitive; keys and options are the catalogue's NAME values, options also their ID.
// Messages are in the language.
std::variant<Command, Failure> Parse(std::span<const std::string> args, Language lang,
                                     const MKeys::Table& catalogue = MKeys::Catalogue());

// Puts a /set or /export command's choices into the rows: named keys get their option, the
// others keep their entries exactly. A locked key, an option the key does not offer or a map
// that is not well formed refuses the whole command (kExitRefused); then nothing may be written.
std::optional<Failure> Apply(const Command& command, CKeyRows& rows, Language lang,
                             const MKeys::Table& catalogue = MKeys::Catalogue());

// The /status answer, one line each with CR LF: KEY=OPTION or KEY=LOCKED (new code XXXX) per
// key, or MAP=NOT WELL FORMED; then BACKUP=YES or BACKUP=NO.
std::string StatusText(const CKeyRows& rows, bool backupExists,
                       const MKeys::Table& catalogue = MKeys::Catalogue());
// The /status lines after those: RESTART=PENDING, NO or UNKNOWN, then the stored map's and the
// backup's bytes as reg query shows a binary value (MAPBYTES=..., BACKUPBYTES=...), or NONE,
// NOT BINARY or UNREADABLE.
std::string StatusDetailText(MRestartState::State state, const MRestartState::MapValue& map,
                             const MRestartState::MapValue& backup);

// The /check answer: whether every named key has its option in the map found (kExitDone, a
// line saying so) or not (kExitDiffers, a line per key that differs); a locked key, an option
// not offered or a map that is not well formed refuses as /set does (kExitRefused).
struct CheckResult {
    std::string text; // lines with CR LF
    int exitCode;
};
CheckResult Check(const Command& command, const CKeyRows& rows, Language lang,
                  const MKeys::Table& catalogue = MKeys::Catalogue());

// The /? answer in the language, CR LF line ends; keywords stay English.
std::string UsageText(Language lang, const MKeys::Table& catalogue = MKeys::Catalogue());

// A .reg file as regedit exports it, setting "Scancode Map" to the value for the entry list
// (zero bytes for the empty list): text with CR LF line ends.
std::string RegFileText(std::string_view entryList);
// UTF-8 text as UTF-16LE bytes after the byte-order mark FF FE, as regedit writes its files.
// A malformed UTF-8 sequence becomes U+FFFD.
std::vector<std::uint8_t> Utf16LeWithBom(std::string_view utf8);

} // namespace MCommandLine
