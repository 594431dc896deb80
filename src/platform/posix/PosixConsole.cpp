#include "platform/Platform.h"

#include <unistd.h>

namespace tarvino::platform {

// A program started from a terminal has it on its standard streams already.
void attachParentConsole() {}

bool stdinIsTerminal()
{
    return isatty(STDIN_FILENO) != 0;
}

} // namespace tarvino::platform
