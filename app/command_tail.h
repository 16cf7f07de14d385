#pragma once

// The command tail of a process command line: what follows the program name and
// the blanks after it.  Never null; points into `line`.
const char *CommandTail(const char *line);
