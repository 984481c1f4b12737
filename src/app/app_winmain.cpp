// The process entry: the host's arguments go to the runtime's argument vector, then the
// program runs as it would from the platform's own entry point.
#include "app/app_entry.h"
#include "platform/win_crt.h"
#include "platform/win_kernel.h"

int WinMain(HINSTANCE instance, HINSTANCE, char*, int)
{
    return app_main(instance);
}

int main(int argc, char** argv)
{
    crt_set_arguments(argc, argv);
    return WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, 1);
}
