// Text conversions for job files: their texts are Windows-1252 bytes, while a Linux
// shell hands over UTF-8 and a terminal wants UTF-8 or plain ASCII back.
#pragma once

#include <string>

namespace velmora_job {

// Converts UTF-8 to Windows-1252.  False, with `error` saying which character or
// byte and where, for text that is not UTF-8 or holds a character with no
// Windows-1252 byte.
bool Utf8ToCp1252(const std::string &utf8, std::string *cp1252, std::string *error);

// How a text is shown on a terminal.  Bytes below 32 and 127 always appear as
// escapes (\r, \n, \t or \xNN); bytes 128-255 appear as \xNN in DISPLAY_ASCII mode, as
// their UTF-8 form in DISPLAY_UTF8 mode (as \xNN for the five bytes Windows-1252 leaves
// undefined).  Other bytes, the backslash included, appear as themselves.
enum Display { DISPLAY_ASCII, DISPLAY_UTF8 };
std::string ShownBytes(const std::string &bytes, Display display);

// Every LF not already preceded by CR becomes CR LF; lone CRs and CR LFs stay.
std::string LfToCrLf(const std::string &text);

} // namespace velmora_job
