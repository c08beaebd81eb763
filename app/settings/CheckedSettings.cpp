// SPDX-License-Identifier: MIT
#include "settings/CheckedSettings.h"

#include "common/NumericText.h"
#include "common/PathField.h"

#include <algorithm>

namespace tessaly {
namespace {

/// The settle time in seconds: a text of plain digits, at most
/// kMaxSettleSeconds (a longer wait is cut to it); any other text gives
/// the default, 5.
int SettleSeconds(std::string_view text)
{
    constexpr int kDefault = 5;
    if (text.empty())
        return kDefault;
    int seconds = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return kDefault;
        seconds = std::min(seconds * 10 + (c - '0'), kMaxSettleSeconds);
    }
    return seconds;
}

constexpr int kMaxPort = 65535;
/// How much of a value a message shows.
constexpr size_t kShownBytes = 40;

/// True when `text` holds a full-width digit (U+FF10 to U+FF19), which an
/// input method in full-width mode types in place of a digit.
bool HasFullWidthDigit(std::string_view text)
{
    for (size_t i = 0; i + 2 < text.size(); ++i) {
        const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
        if (byte(i) == 0xEF && byte(i + 1) == 0xBC && byte(i + 2) >= 0x90 && byte(i + 2) <= 0x99)
            return true;
    }
    return false;
}

/// The value of a text of decimal digits only, or nothing for any other
/// text (an empty one included) and for a value above `max`.
std::optional<int> Digits(std::string_view text, int max)
{
    if (text.empty())
        return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = std::min<int64_t>(value * 10 + (c - '0'), int64_t{max} + 1);
    }
    if (value > max)
        return std::nullopt;
    return static_cast<int>(value);
}

/// Blanks and tabs off both ends, as the mail component trims a port.
std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool IsPort(std::string_view key)
{
    return key == "Conf_SmtpPort" || key == "Conf_PopPort";
}

bool IsOAuthUrl(std::string_view key)
{
    return key == "Conf_OAuthTokenUrl" || key == "Conf_OAuthDeviceUrl" || key == "Conf_OAuthAuthUrl";
}

/// True when `text` holds a blank or a control character.
bool HasBlankOrControl(std::string_view text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; });
}

/// An address the token service can be asked at: https with a host, or
/// http to this machine only (a local test service); no blanks or control
/// characters anywhere.
bool IsEndpointAddress(std::string_view url)
{
    if (HasBlankOrControl(url))
        return false;
    for (std::string_view scheme : {"https://", "http://127.0.0.1", "http://localhost", "http://[::1]"}) {
        if (!url.starts_with(scheme))
            continue;
        const std::string_view rest = url.substr(scheme.size());
        if (scheme == "https://")
            return !rest.empty() && rest.front() != '/' && rest.front() != ':';
        return rest.empty() || rest.front() == ':' || rest.front() == '/';
    }
    return false;
}

} // namespace

std::string SettingValueProblem(std::string_view key, std::string_view value)
{
    const BasicSettingField* field = FindBasicSetting(key);
    if (!field)
        return {};
    bool works = true;
    std::string reason;
    if (key == "Conf_MailAuth") {
        const std::optional<int16_t> kind = ParseInt16(value);
        works = kind && *kind >= kMailAuthPassword && *kind <= kMailAuthOther;
        reason = "0(パスワード)、1(Microsoft 365)、2(Google)、3(その他のOAuth 2.0)のいずれかで指定してください。";
    } else if (IsOAuthUrl(key)) {
        works = value.empty() || IsEndpointAddress(value);
        reason = "https:// で始まるアドレスで指定してください。";
    } else if (key == "Conf_OAuthSecret") {
        works = !HasBlankOrControl(value);
        reason = "空白を含めずに指定してください。";
    } else if (field->flag) {
        const std::optional<int16_t> flag = ParseInt16(value);
        works = flag && (*flag == 0 || *flag == 1);
        reason = "0か1で指定してください。";
    } else if (key == "Conf_MaxSize") {
        const std::optional<double> megabytes = ParseNumber(value);
        works = megabytes && *megabytes >= 0;
        reason = "0以上の数値(MB)で指定してください。";
    } else if (key == "Conf_Interval") {
        works = value.empty() || Digits(value, kMaxIntervalMinutes).value_or(0) >= 1;
        reason = "1から" + std::to_string(kMaxIntervalMinutes) + "までの整数(分)で指定してください。";
    } else if (IsPort(key)) {
        const std::string_view port = Trimmed(value);
        works = port.empty() || Digits(port, kMaxPort).value_or(0) >= 1;
        reason = "1から" + std::to_string(kMaxPort) + "までの整数で指定するか、空欄にしてください。";
    } else if (key == "Conf_Settle") {
        works = Digits(value, kMaxSettleSeconds).has_value();
        reason = "0から" + std::to_string(kMaxSettleSeconds) + "までの整数(秒)で指定してください。";
    }
    if (works)
        return {};
    return HasFullWidthDigit(value) ? "半角数字で指定してください。" : reason;
}

bool IsNumberText(std::string_view value)
{
    return ParseNumber(value).has_value();
}

std::string OAuthSettingsProblem(const BasicSettings& settings)
{
    if (settings.Conf_MailAuth < kMailAuthMicrosoft || settings.Conf_MailAuth > kMailAuthOther)
        return {};
    if (settings.Conf_OAuthClient.empty())
        return "OAuth 2.0 でサインインするには、Conf_OAuthClient にクライアントIDを指定してください。";
    if (settings.Conf_MailAuth == kMailAuthOther && settings.Conf_OAuthTokenUrl.empty())
        return "その他のOAuth 2.0 でサインインするには、Conf_OAuthTokenUrl にトークンのアドレスを指定してください。";
    if (settings.Conf_MailAuth == kMailAuthMicrosoft && IsOn(settings.Conf_OAuthBearer))
        return "Microsoft 365 は OAUTHBEARER を受け付けません。Conf_OAuthBearer を 0 (XOAUTH2) にしてください。";
    return {};
}

std::string SettingProblem::text() const
{
    // A secret is never shown, not even one that cannot work.
    const std::string shown = key == "Conf_OAuthSecret" ? std::string("********") : OneLineExcerpt(value, kShownBytes);
    return std::string(key) + "「" + shown + "」は使えません。" + reason + instead;
}

bool CheckedSettings::attachable(int64_t bytes) const
{
    return maxSizeMegabytes > RoundHalfEven(static_cast<double>(bytes) / 1024.0 / 1024.0);
}

CheckedSettings ReadCheckedSettings(const BasicSettings& settings, std::vector<SettingProblem>* problems)
{
    CheckedSettings checked;
    if (SettingValueProblem("Conf_MaxSize", settings.Conf_MaxSize).empty())
        checked.maxSizeMegabytes = *ParseNumber(settings.Conf_MaxSize);
    if (SettingValueProblem("Conf_Interval", settings.Conf_Interval).empty() && !settings.Conf_Interval.empty())
        checked.intervalMinutes = Digits(settings.Conf_Interval, kMaxIntervalMinutes);
    checked.settleSeconds = SettleSeconds(settings.Conf_Settle);
    if (!problems)
        return checked;

    const bool mail = IsOn(settings.Conf_Mail);
    for (const BasicSettingField& field : BasicSettingFields()) {
        const std::string value = BasicSettingText(settings, field);
        std::string reason = SettingValueProblem(field.key, value);
        if (reason.empty())
            continue;
        const std::string_view key = field.key;
        std::string instead;
        if (key == "Conf_MailAuth") {
            instead = "パスワードでログインします。";
        } else if (field.flag) {
            instead = "ｵﾌとして扱います。";
        } else if (key == "Conf_MaxSize") {
            if (!mail || !IsOn(settings.Conf_MailAdd))
                continue;
            instead = "最大ｻｲｽﾞを" + std::to_string(static_cast<int>(kFallbackMaxSizeMegabytes)) + "MBとして扱います。";
        } else if (key == "Conf_Interval") {
            instead = "定期的なﾁｪｯｸはしません。";
        } else if (key == "Conf_Settle") {
            instead = std::to_string(checked.settleSeconds) + "秒として扱います。";
        } else {
            if (!mail || (key == "Conf_PopPort" && !IsOn(settings.Conf_PopBeforeSMTP)))
                continue;
            instead = "ﾒｰﾙは送信できません。";
        }
        problems->push_back(SettingProblem{key, value, std::move(reason), std::move(instead)});
    }
    return checked;
}

} // namespace tessaly
