#pragma once

// Whether the program's standard output is a terminal (not a file or a pipe).
bool StandardOutputIsTerminal();
