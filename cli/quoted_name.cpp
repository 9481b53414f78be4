#include "quoted_name.h"

#include <algorithm>
#include <cstdio>

namespace {

bool IsControl(char c)
{
    const unsigned char byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

// The C escape of a control character: its letter where C has one, else three octal digits.
std::string Escape(char c)
{
    switch (c) {
    case '\a': return "\\a";
    case '\b': return "\\b";
    case '\f': return "\\f";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    case '\v': return "\\v";
    default: break;
    }
    char text[8];
    std::snprintf(text, sizeof text, "\\%03o", static_cast<unsigned>(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::string QuoteName(const std::string& name)
{
    if (std::none_of(name.begin(), name.end(), IsControl))
        return name;
    std::string quoted = "'";
    bool escaping = false; // inside a $'...' part
    for (char c : name) {
        if (IsControl(c)) {
            if (!escaping)
                quoted += "'$'";
            escaping = true;
            quoted += Escape(c);
        } else if (c == '\'') {
            // Its first quote ends whichever part is open.
            quoted += "'\\''";
            escaping = false;
        } else {
            if (escaping)
                quoted += "''";
            escaping = false;
            quoted += c;
        }
    }
    return quoted + "'";
}
