// Takes one asynchronous call's result from the store's dispatch, as a game object would.
#pragma once

#include "platform/steam_api.h"

// What one call's result brought to a bound object.
template <class P> struct Delivery {
    P record{};
    bool io_failure = false;
    int runs = 0;

    void On(P* result, bool failure)
    {
        record = *result;
        io_failure = failure;
        ++runs;
    }
};

// Binds the call, runs one dispatch and hands over what arrived.
template <class P> Delivery<P> deliver(SteamAPICall_t call)
{
    Delivery<P> delivery;
    CCallResult<Delivery<P>, P> binding;
    binding.Set(call, &delivery, &Delivery<P>::On);
    SteamAPI_RunCallbacks();
    return delivery;
}
