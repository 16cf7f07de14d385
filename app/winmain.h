// The program's entry and its two modes.
#pragma once

#include <windows.h>

// Argument count and vector, split from the command line by the platform's standard
// rules before WinMain runs; handed to the Notes runtime as they are.
extern int g_argc;
extern char **g_argv;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR tail, int show);
