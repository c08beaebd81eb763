// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

class DataFolderLock;

/// The basic settings: the 22 of every installation, then the two of live
/// watching, the nine of OAuth 2.0 sign-in and the keyring's one, which an
/// installation that does not know them passes over. A
/// flag counts as on only when it equals 1; every other field is a text
/// kept exactly as typed (ports, sizes, the interval and the settle time
/// included). Defaults: 0 and "", but 5 seconds of settle time.
/// A flag of the settings is on only when it is exactly 1.
inline bool IsOn(int16_t flag)
{
    return flag == 1;
}

struct BasicSettings {
    int16_t Conf_Passwd = 0;
    std::string Conf_PasswdTxt;
    int16_t Conf_Balloon = 0;
    int16_t Conf_Mail = 0;
    std::string Conf_SmtpSrv;
    std::string Conf_SmtpPort;
    std::string Conf_PopSrv;
    std::string Conf_PopPort;
    std::string Conf_PopUser;
    std::string Conf_PopPasswd;
    std::string Conf_SmtpName;
    std::string Conf_SmtpAddr;
    int16_t Conf_PopBeforeSMTP = 0;
    int16_t Conf_SmtpAuth = 0;
    int16_t Conf_SmtpAuthMD5 = 0;
    std::string Conf_SmtpAuthUser;
    std::string Conf_SmtpAuthPasswd;
    int16_t Conf_MailAdd = 0;
    int16_t Conf_zip = 0;
    std::string Conf_zipPasswd;
    std::string Conf_MaxSize;
    std::string Conf_Interval;
    /// Folders on local file systems are watched for changes between the
    /// timed runs.
    int16_t Conf_Instant = 0;
    /// How many seconds a document must have been left alone before it is
    /// announced; "0" announces it at once.
    std::string Conf_Settle = "5";
    /// How the SMTP login signs in: kMailAuthPassword (the password of
    /// Conf_SmtpAuthPasswd) or OAuth 2.0 with the user's own client
    /// registration, kMailAuthMicrosoft, kMailAuthGoogle or kMailAuthOther.
    int16_t Conf_MailAuth = 0;
    std::string Conf_OAuthClient;    ///< the client id of the registration
    std::string Conf_OAuthTenant;    ///< Microsoft's tenant; "" is "common"
    std::string Conf_OAuthTokenUrl;  ///< token endpoint (other provider)
    std::string Conf_OAuthDeviceUrl; ///< device authorization endpoint (other provider)
    std::string Conf_OAuthScope;     ///< scope to ask for (other provider)
    std::string Conf_OAuthAuthUrl;   ///< authorization endpoint (other provider)
    /// The client secret of the registration, for providers that want one
    /// even from a desktop client (Google); never shown.
    std::string Conf_OAuthSecret;
    /// The SMTP login offers the token by OAUTHBEARER (RFC 7628) instead of
    /// XOAUTH2; not for Microsoft 365, which takes XOAUTH2 only.
    int16_t Conf_OAuthBearer = 0;
    /// The SMTP, POP and zip passwords are kept in the desktop's keyring,
    /// their records in the file left empty, where a keyring answers.
    int16_t Conf_KeyringPasswd = 0;

    friend bool operator==(const BasicSettings&, const BasicSettings&) = default;
};

/// One setting: its key, its 20-character record label, and where it lives.
/// Exactly one of `flag` and `text` is set.
struct BasicSettingField {
    std::string_view key;
    std::string_view label;
    int16_t BasicSettings::*flag;
    std::string BasicSettings::*text;
};

/// The number of settings, and of the records of sysconfig.dat.
inline constexpr size_t kBasicSettingCount = 34;

/// The settings in the order their records are written.
const std::array<BasicSettingField, kBasicSettingCount>& BasicSettingFields();

/// The field whose key is `key` (exact), or nullptr.
const BasicSettingField* FindBasicSetting(std::string_view key);

/// The key of the text field `text`; empty for a field that is not one.
std::string_view BasicSettingKey(std::string BasicSettings::*text);

/// The value of one field as it is written after its label.
std::string BasicSettingText(const BasicSettings& settings, const BasicSettingField& field);

/// Stores `value` into one field. A flag takes a numeric text, rounded half
/// to even to a 16-bit integer; false (field unchanged) for anything else.
bool SetBasicSetting(BasicSettings& settings, const BasicSettingField& field, std::string_view value);

/// The values of Conf_MailAuth.
inline constexpr int16_t kMailAuthPassword = 0;
inline constexpr int16_t kMailAuthMicrosoft = 1;
inline constexpr int16_t kMailAuthGoogle = 2;
inline constexpr int16_t kMailAuthOther = 3;

/// True when the SMTP login signs in by OAuth 2.0 (SMTP authentication on
/// and Conf_MailAuth one of the OAuth kinds).
bool UsesOAuth(const BasicSettings& settings);

/// The longest settle time. A check run waits for its documents to settle
/// while it holds the data folder, and saves wait for it: no longer than a
/// minute, the time tessalyctl waits for the folder.
inline constexpr int kMaxSettleSeconds = 60;

/// The file name of the settings file in the data folder.
inline constexpr std::string_view kSettingsFileName = "sysconfig.dat";

/// Every field to its default.
void ResetBasicSettings(BasicSettings& settings);

/// The settings of a new data folder: the defaults, but balloons on and a
/// check every 10 minutes, so that a new user's first subscription is
/// checked and heard of without a visit to the settings.
BasicSettings FreshBasicSettings();

/// Reads sysconfig.dat from `folder` into `settings`. A missing or empty
/// file is first replaced by a file of FreshBasicSettings(), under the data
/// folder's lock (waited for at most kFirstSettingsWaitSeconds) and only
/// when it is still missing or empty once the lock is held, so that a file
/// another program saved meanwhile is read, never replaced. While another
/// holder keeps the lock past that wait, nothing is written and `settings`
/// take FreshBasicSettings(), what the new file would hold. True when the
/// file was read to its end tag. On a failure (file unreadable, damaged
/// header, a flag that is not a number, a file that ends early, a lock file
/// that cannot be opened) the fields read before it keep their new values,
/// the others their previous ones, and the result is false. Shows no
/// message; `error`, when given, receives the cause. Blocks while it waits.
bool LoadBasicSettings(BasicSettings& settings, const std::string& folder, std::string* error = nullptr);

/// The same for a caller that holds the data folder's lock already
/// (`held`, which must be held): a missing file is created at once.
bool LoadBasicSettings(BasicSettings& settings, const std::string& folder, const DataFolderLock& held,
                       std::string* error = nullptr);

/// How long LoadBasicSettings waits for the lock to create a missing file.
inline constexpr double kFirstSettingsWaitSeconds = 5;

/// Writes every field to a new sysconfig.dat in `folder` (0600), replacing
/// the old file only once the new one is complete. False with `error` set on
/// failure; the previous file is then intact. With Conf_KeyringPasswd on,
/// the SMTP, POP and zip passwords go into the desktop's keyring instead
/// of the file (and loads take them from there); a password the keyring
/// cannot take is written to the file, and `notice`, when given, says so.
bool SaveBasicSettings(const BasicSettings& settings, const std::string& folder, std::string* error,
                       std::string* notice = nullptr);

} // namespace tessaly
