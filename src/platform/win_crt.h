// The C runtime's view of the process: its argument vector, in the program's Shift-JIS.
#pragma once

extern int g_crt_argc;
extern char** g_crt_argv;

// Called once by the process entry with the host's (UTF-8) arguments.
void crt_set_arguments(int argc, char** argv);
