// SPDX-License-Identifier: MIT
#pragma once

namespace tessaly::mail {

/// Bounds of one exchange with a server, so that no server can hold the
/// program: a server that does not accept the connection, does not answer
/// a command, or stops taking data is given up after these many seconds.
struct TransferOptions {
    long connectTimeoutSeconds = 20;
    long responseTimeoutSeconds = 60;
    /// Seconds in which an upload or download may move less than one byte
    /// per second before it is abandoned.
    long lowSpeedSeconds = 60;
};

} // namespace tessaly::mail
