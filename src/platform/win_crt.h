// The C runtime's view of the process: its argument vector, in the program's Shift-JIS, and the
// stream calls that take the program's own paths.
#pragma once

#include <cstdio>

using errno_t = int;

extern int g_crt_argc;
extern char** g_crt_argv;

// Called once by the process entry with the host's (UTF-8) arguments.
void crt_set_arguments(int argc, char** argv);

// Opens the file at the program's path (Shift-JIS, '\' or '/', any case) with an fopen mode.
// 0 with the stream in *file, else the errno value with *file null; EINVAL for a null argument.
errno_t fopen_s(FILE** file, const char* path, const char* mode);
