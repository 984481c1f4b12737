#include "app/app_error.h"

#include "app/app_entry.h"
#include "platform/win_user.h"

void app_show_error(const char* text)
{
    if (!text || !text[0]) return;
    MessageBoxA(nullptr, text, APP_TITLE, MB_OK);
}
