// SPDX-License-Identifier: MIT
#pragma once

#include "settings/BasicSettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

/// The longest interval between timed checks: 31 days.
inline constexpr int kMaxIntervalMinutes = 44640;
/// The attachment limit, in megabytes, of a size setting that cannot work.
inline constexpr double kFallbackMaxSizeMegabytes = 10;

/// Why `value` cannot work as the setting `key`: one Japanese sentence that
/// reads on its own and after the setting's name and "は", or "" when the
/// value can work (or the key takes any text). The values that can work:
/// - Conf_MaxSize: a number of megabytes, 0 or more, in every form the
///   attachment limit is read in ("10", " 2.5 ", "1e2");
/// - Conf_Interval: "" (no timed checks) or whole minutes, 1 to
///   kMaxIntervalMinutes, in decimal digits;
/// - Conf_SmtpPort, Conf_PopPort: "" (the server's default port) or 1 to
///   65535 in decimal digits, blanks around allowed, as the mail component
///   reads them;
/// - Conf_Settle: whole seconds in decimal digits, 0 to kMaxSettleSeconds
///   (a check run waits no longer than that for its documents to settle,
///   and holds the data folder while it waits);
/// - Conf_MailAuth: 0 to 3 (kMailAuthPassword to kMailAuthOther);
/// - Conf_OAuthTokenUrl, Conf_OAuthDeviceUrl, Conf_OAuthAuthUrl: "" (the
///   provider's preset) or an https address with a host; http only to this
///   machine (127.0.0.1, localhost, [::1]), for a local service;
/// - Conf_OAuthSecret: any text without blanks or control characters;
/// - every other flag: a number that rounds to 0 or 1.
/// A value written with full-width digits ("１０") is told to be typed in
/// half-width digits.
std::string SettingValueProblem(std::string_view key, std::string_view value);

/// True when `value` reads as a number at all ("-5", " 2.5 ", "1e2"): what a
/// numeric box of the settings dialog takes as it is typed, before
/// SettingValueProblem tells whether the number can work.
bool IsNumberText(std::string_view value);

/// Why the OAuth 2.0 settings cannot work together, or "" when they can (or
/// OAuth is off): a client id is needed, and for another provider than
/// the two presets a token address.
std::string OAuthSettingsProblem(const BasicSettings& settings);

/// A value of the settings that cannot work.
struct SettingProblem {
    std::string_view key; ///< the Conf_* name
    std::string value;
    std::string reason;  ///< SettingValueProblem()
    std::string instead; ///< what the program does instead; may be ""

    /// One line for the user: the key, the value, the reason and what is
    /// done instead.
    std::string text() const;
};

/// The numbers of the settings, read so that every text gives a value the
/// program can work with.
struct CheckedSettings {
    /// A document is attached when its size in megabytes, rounded half to
    /// even, is below this.
    double maxSizeMegabytes = kFallbackMaxSizeMegabytes;
    /// Minutes between timed checks; nothing: no timed checks.
    std::optional<int> intervalMinutes;
    /// How long a document must have been left alone before it is
    /// announced; 0 announces it at once.
    int settleSeconds = 5;

    /// True when a document (or its archive) of `bytes` bytes may be
    /// attached.
    bool attachable(int64_t bytes) const;
};

/// Reads the numbers of `settings`. A value that cannot work gives what is
/// safe instead (a size limit of 10 MB, no timed checks; a settle time of
/// plain digits past the longest is cut to it, any other gives 5 seconds)
/// and, when `problems` is given, one entry there.
/// Only values in use are looked at for problems: the size limit while
/// attachments are on, the SMTP port while mail is on, the POP port while
/// POP before SMTP is on too; the interval, the settle time and every flag
/// always.
CheckedSettings ReadCheckedSettings(const BasicSettings& settings, std::vector<SettingProblem>* problems = nullptr);

} // namespace tessaly
