#pragma once
// The error number an action raises, 0 when it raises none.
#include "platform/vb/error.h"

#include <cstdint>

template <typename F> std::int32_t errorOf(F&& action) {
    try {
        action();
    } catch (const vb::VbError& e) {
        return e.number();
    }
    return 0;
}
