#pragma once

// Names as the text output prints them, so that a name can neither split a line in two nor reach
// the terminal as a command.

#include <string>

// A name that holds no control character (a byte below 0x20, or 0x7F) as it stands. One that
// does is quoted as coreutils' ls quotes names with --quoting-style=shell-escape: the whole name
// in single quotes, each run of control characters in a $'...' part as C escapes (\n, \t, ...)
// or three octal digits (\033), a single quote as '\''. Bash, zsh and ksh read it back as the name.
std::string QuoteName(const std::string& name);
