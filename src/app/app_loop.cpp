#include "app/app_loop.h"

#include "app/app_window.h"

std::uint32_t g_frame_counter = 0;

namespace {

// Removes and dispatches every pending message; false on the quit message.
bool pump_messages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return false;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return true;
}

} // namespace

int app_message_loop()
{
    while (pump_messages()) WaitMessage();
    g_app_active = 0;
    return 0;
}
