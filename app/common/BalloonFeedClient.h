// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

/// The local socket through which other programs of the same user set the
/// balloon of the program running on data folder `folder`: in
/// $XDG_RUNTIME_DIR, else in a folder /tmp/tessaly-UID of mode 0700 (made
/// when `create` is true), named after the folder. The program and its
/// clients check that folder alike: one that is a link, belongs to another
/// user or can be entered by others is not used. Gives nothing with `error`
/// set when no private place for it can be had. No Qt.
std::optional<std::string> BalloonFeedSocketPath(const std::string& folder, bool create, std::string* error);

/// Sets the balloon of the program running on `folder`: `title` becomes
/// its title and `text` its text (texts in UTF-8), which shows the balloon
/// when balloons are on. False with `error` set when no program runs there
/// or it refused the texts.
bool SendBalloonFeed(const std::string& folder, std::string_view title, std::string_view text, std::string* error);

/// Asks the program running on `folder` to show its main window, as a
/// double click on its icon does (through the password prompt when one is
/// set). False with `error` set when no program answers there.
bool RequestMainWindow(const std::string& folder, std::string* error);

/// The largest message the program accepts: its kind, title, text and two
/// NULs.
inline constexpr size_t kBalloonFeedLimit = 64 * 1024;

/// How long the program waits for a client's whole message: one that takes
/// longer is dropped without an answer. Clients send theirs at once.
inline constexpr int kBalloonFeedClientMilliseconds = 2000;

/// How many clients the program serves at once, all side by side: when one
/// more comes, the one that has waited longest is dropped, so that idle
/// connections can never keep a client out.
inline constexpr size_t kBalloonFeedMaxClients = 16;

/// True when the bytes a client sent so far make a whole message (its kind
/// and two NULs) or already too long a one: the time to answer.
bool BalloonFeedMessageEnded(std::string_view received);

/// What a whole message asks the program for. Every message is its kind
/// (one byte) then two parts, each ended by NUL: for a balloon its title
/// and its text (UTF-8), for the main window both empty.
struct BalloonFeedMessage {
    enum class Kind : unsigned char { Refused = 0, Balloon = 1, ShowWindow = 2 } kind = Kind::Refused;
    std::string title; ///< UTF-8 (Balloon only)
    std::string text;  ///< UTF-8 (Balloon only)
    std::string reply; ///< the reason for a refusal, one line ending in "\n"
};

/// Reads a message as the program receives it: a balloon, a request for
/// the main window, or something refused with the reason to answer. The
/// answer to an accepted one is kBalloonFeedAccepted.
BalloonFeedMessage ParseBalloonFeedMessage(std::string_view message);

/// The program's answer to a message it accepted.
inline constexpr std::string_view kBalloonFeedAccepted = "OK\n";

} // namespace tessaly
