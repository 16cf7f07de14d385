// What the machine under test is: Wine or Windows, which Windows, 32 or 64 bits, its
// code pages, whether its volume makes 8.3 names.  The check runner writes these at the
// head of its report; the case loop skips a case whose needs the machine does not meet.
#pragma once

#include <windows.h>
#include <string>

// True under Wine: its ntdll exports wine_get_version, which Windows's does not.
bool RunningOnWine();
// "Windows 10.0.19045 SP0" or "Wine 8.0 (Windows 6.1.7601 SP1)", from RtlGetVersion,
// which tells the truth whatever the program's manifest says.
std::string WindowsDescription();
// True on 64-bit Windows (this 32-bit program then runs under WOW64).
bool Is64BitWindows();
// True when the volume of `folder` gives a long name a short form: a probe folder
// named with blanks is made there, shortened and removed.  `folder` must exist.
bool MakesShortNames(const std::string &folder);
