// The text of the RuntimeError an action throws, for tests of the game's fatal errors.
#pragma once

#include "core/errors.h"

#include <functional>
#include <string>

// "no error" when the action returns.
inline std::string thrown_text(const std::function<void()>& action)
{
    try {
        action();
    } catch (const RuntimeError& error) {
        return error.text;
    }
    return "no error";
}
