// SPDX-License-Identifier: MIT
#pragma once

#include "notify/MailTransfer.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace tessaly {

class Clock;
class UserMessages;
struct BasicSettings;

/// How long a notice is tried before it is given up, and the pauses
/// between its attempts (then an hour each).
inline constexpr int64_t kOutboxKeepSeconds = 7 * 24 * 3600;
inline constexpr int kOutboxPausesMinutes[] = {1, 2, 5, 15, 60};

/// What a delivery works with. References must outlive the call.
struct OutboxDeliveryContext {
    std::string dataFolder;
    MailTransfer& transfer;
    const BasicSettings& settings;
    UserMessages& messages;
    const Clock& clock;
    /// How long a change of a notice waits for the data folder's lock.
    double lockWaitSeconds = 60;
    /// Every notice is tried now, whatever its pause (a new notice came, or
    /// the user asked).
    bool now = false;
    /// Set while the program ends: nothing more is sent.
    const std::atomic<bool>* cancel = nullptr;
};

/// What a delivery came to.
struct OutboxResult {
    int sent = 0;    ///< notices that went out completely
    int waiting = 0; ///< notices still in the outbox
};

/// Sends the notices of the outbox, oldest first, each update mail before
/// its password mail, and never one notice before an older one that is
/// still waiting. Mail is sent without the data folder's lock; each change
/// of a notice takes it briefly. A notice that cannot be sent now waits for
/// its next attempt (pauses of 1, 2, 5, 15, 60 minutes, then hourly) and is
/// told; one the server refuses for good (a 5xx reply) is told with the
/// server's words and dropped, as is one still unsent after 7 days. The
/// documents of a dropped notice stay in the history.
OutboxResult DeliverOutbox(const OutboxDeliveryContext& context);

/// The pause after attempt number `attempts` (1, 2, ...), in seconds.
int64_t OutboxPauseSeconds(int attempts);

} // namespace tessaly
