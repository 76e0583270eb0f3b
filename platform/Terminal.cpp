#include "platform/Terminal.h"

#ifdef _WIN32
#include <io.h>

#include <cstdio>

bool StandardOutputIsTerminal() { return ::_isatty(::_fileno(stdout)) != 0; }
#else
#include <unistd.h>

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }
#endif
