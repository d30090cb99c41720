// Fails inside a guarded body, as a window procedure would, so that the real fatal route runs.
#include "win32/Fatal.h"
#include "win32/MLanguage.h"

int main() {
    MLanguage::Decide();
    RunGuarded([] { throw AppError(-2147024891, "fatal_probe.Probe", "Access is denied."); });
    return 0; // the route ends the process first
}
