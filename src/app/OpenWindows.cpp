#include "MMain.h"

namespace MMain {

// The main window and the first-start help window open here; until they exist the program
// ends after its checks and set-up.
void OpenWindows() {}

} // namespace MMain
