// SPDX-License-Identifier: MIT
#pragma once

#include "resident/ResidentData.h"

namespace tessaly {

class CheckRunner;
class Clock;
class UserMessages;

/// What the child windows work on: the program's records, edited in place,
/// and its services. Every reference outlives every window.
struct WindowContext {
    ResidentData& data;
    UserMessages& messages;
    CheckRunner& checkRunner; ///< the subscription editor's check on demand
    const Clock& clock;
};

} // namespace tessaly
