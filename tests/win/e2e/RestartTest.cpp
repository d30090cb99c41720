// A machine of its own: a second Wine prefix, whose wineserver's end is that machine's restart.
// Its volatile keys go with the server, and the next server's start writes the hardware
// description anew, as Windows does at every start. Its programs run on that server alone, so
// this test reads them only through their output.
#include <gtest/gtest.h>

#include "e2e/MainWindowDriver.h"

using namespace e2e;

namespace {

const testsupport::Env kMachine = {{"WINEPREFIX", RESTART_PREFIX},
                                   {"WINEDEBUG", "-all"},
                                   {"WINEDLLOVERRIDES", "mscoree,mshtml="},
                                   {"LC_ALL", "en_US.UTF-8"}};

// A Unix command run on the machine to its end.
void OnMachine(const std::string& command) {
    testsupport::ChildProcess shell("", command, kMachine);
    EXPECT_TRUE(shell.Wait(60000)) << command;
}

// The machine restarted: its server ended, and a new one kept running until the next restart
// (a server that ends by itself between two commands would be a restart too).
void Restart() {
    OnMachine("/usr/bin/wineserver -k; /usr/bin/wineserver -w; /usr/bin/wineserver -p");
}

const char kLayout[] = "\"HKLM\\System\\CurrentControlSet\\Control\\Keyboard Layout\"";

// The machine as a new one: no map, no backup, no key in the record's place (a run that was
// ended midway may leave one), then a restart. Its server ends however the test ends.
struct Machine {
    Machine() {
        Restart();
        const std::string reg = std::string("/usr/bin/wine reg delete ");
        OnMachine(reg + kLayout + " /v \"Scancode Map\" /f; " + reg + kLayout +
                  " /v \"TVLN Backup\" /f; " + reg +
                  "\"HKLM\\System\\CurrentControlSet\\Control\\Tavelin\" /f");
        Restart();
    }
    ~Machine() { OnMachine("/usr/bin/wineserver -k; /usr/bin/wineserver -w"); }
};

} // namespace

// What the shared server's stand-in for a restart (the session in CommandLineTest) takes for
// granted, on a real one: the record goes with the server, and the next start is told apart.
TEST(RestartTest, RealRestartOfTheMachine) {
    struct Step {
        bool restart = false;
        bool writeMute = false; // reg.exe writes the map behind the program's back first
        std::string args = "/status";
        DWORD code = 0; // as a Unix shell reads it through Wine's loader: the low byte
        std::string output;
    };
    const Step steps[] = {
        {.args = "/set CAPSLOCK=LSHIFT /restartcodes",
         .code = 3010 % 256,
         .output = "Saved.\r\nThe change takes effect when the computer restarts.\r\n"},
        {.output = Status(kShiftKeys, "YES", "PENDING", kShiftBytes, "")},
        {.restart = true, .output = Status(kShiftKeys, "YES", "NO", kShiftBytes, "")},
        {.writeMute = true, .output = Status(kMutedKeys, "YES", "UNKNOWN", kMuteBytes, "")},
        {.restart = true, .output = Status(kMutedKeys, "YES", "NO", kMuteBytes, "")},
    };
    const Machine machine;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.args + (step.restart ? " after a restart" : ""));
        if (step.restart)
            Restart();
        if (step.writeMute)
            OnMachine(std::string("/usr/bin/wine reg add ") + kLayout +
                      " /v \"Scancode Map\" /t REG_BINARY /d " + kMuteBytes + " /f");
        const RunResult run = RunTavelin(step.args, kMachine);
        EXPECT_EQ(run.code, step.code);
        EXPECT_EQ(run.output, step.output);
    }
}
