// The properties the fuzz targets check, one function per way into the program.  Each
// runs one input against a fresh fake world and returns what went wrong, or an empty
// string when the program behaved.  The fuzz targets abort on a non-empty answer.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// Job file bytes through OpenJobFile and ReadJob.
std::string CheckJobFile(const uint8_t *data, size_t size);
// ExpandTemplate against the reference model.
std::string CheckTemplate(const uint8_t *data, size_t size);
// ComposeMemo over the fake Notes layer.
std::string CheckMemo(const uint8_t *data, size_t size);
// CommandTail, and the job path OpenJobFile takes from the tail.
std::string CheckCommandTail(const uint8_t *data, size_t size);
// LoadInstallSettings from any registry bytes and files.
std::string CheckInstallSettings(const uint8_t *data, size_t size);
