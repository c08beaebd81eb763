// SPDX-License-Identifier: MIT
// tessalyctl mail login | mail logout: the OAuth 2.0 sign-in of the SMTP
// login, by the device authorization grant (RFC 8628).
#include "cli/Ctl.h"

#include "common/Clock.h"
#include "common/FileSystem.h"
#include "common/Json.h"
#include "notify/ComponentMailTransfer.h"
#include "notify/OAuthSignIn.h"
#include "settings/BasicSettings.h"
#include "settings/CheckedSettings.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace tessaly {
namespace {

constexpr const char* kDeviceGrant = "urn:ietf:params:oauth:grant-type:device_code";
/// RFC 8628: the interval when the answer names none, and its step on
/// slow_down.
constexpr int64_t kDefaultInterval = 5;
constexpr int64_t kSlowDownStep = 5;
constexpr int64_t kDefaultDeviceSeconds = 900;
constexpr int64_t kMaxInterval = 60;
constexpr int64_t kMaxDeviceSeconds = 3600;
/// Polls in a row that may fail for want of an answer before the sign-in
/// gives up.
constexpr int kNetworkRetries = 3;

/// The settings of a sign-in, or a reason on `context.err` and false.
bool LoadSignInSettings(CtlContext& context, BasicSettings* settings)
{
    std::string error;
    if (!FileHasContent(JoinPath(context.folder, kSettingsFileName)) ||
        !LoadBasicSettings(*settings, context.folder, &error)) {
        context.err << "tessalyctl: the settings could not be loaded" << (error.empty() ? "" : ": ") << error << '\n';
        return false;
    }
    if (settings->Conf_MailAuth < kMailAuthMicrosoft || settings->Conf_MailAuth > kMailAuthOther) {
        context.err << "tessalyctl: Conf_MailAuth は OAuth 2.0 ではありません (1: Microsoft 365, 2: Google, 3: "
                       "その他)。先に tessalyctl settings set で設定してください。\n";
        return false;
    }
    if (std::string problem = OAuthSettingsProblem(*settings); !problem.empty()) {
        context.err << "tessalyctl: " << problem << '\n';
        return false;
    }
    return true;
}

/// A refused request told on `context.err`.
int Refused(CtlContext& context, const OAuthAnswer& answer, const FlatJson& json)
{
    context.err << "tessalyctl: " << DescribeTokenError(json.text("error"), json.text("error_description")) << " (HTTP "
                << answer.status << ")\n";
    return kCtlFailed;
}

} // namespace

int RunMailLogin(CtlContext& context)
{
    BasicSettings settings;
    if (!LoadSignInSettings(context, &settings))
        return kCtlFailed;
    const OAuthEndpoints endpoints = EndpointsOf(settings);
    if (endpoints.deviceUrl.empty()) {
        context.err << "tessalyctl: Conf_OAuthDeviceUrl にデバイス認可のアドレスを指定してください。\n";
        return kCtlFailed;
    }
    MailTransfer& transfer = InstalledMailTransfer();
    const std::string client = "client_id=" + FormEncode(settings.Conf_OAuthClient);
    std::string error;
    std::optional<OAuthAnswer> answer =
        transfer.oauthPost(endpoints.deviceUrl, client + "&scope=" + FormEncode(endpoints.scope), &error);
    if (!answer) {
        context.err << "tessalyctl: サインインを始められませんでした: " << error << '\n';
        return kCtlFailed;
    }
    const FlatJson device = ParseFlatJson(answer->body).value_or(FlatJson{});
    const std::string deviceCode = device.text("device_code");
    // Google names the address verification_url.
    std::string address = device.text("verification_uri");
    if (address.empty())
        address = device.text("verification_url");
    if (answer->status != 200 || deviceCode.empty() || address.empty())
        return Refused(context, *answer, device);
    const SystemClock clock;
    // Bounded, so that a strange answer cannot hold the command for days.
    int64_t interval = std::clamp<int64_t>(device.integer("interval").value_or(kDefaultInterval), 1, kMaxInterval);
    const int64_t deadline =
        clock.UnixNow() +
        std::min<int64_t>(device.integer("expires_in").value_or(kDefaultDeviceSeconds), kMaxDeviceSeconds);
    context.out << "次のアドレスをブラウザーで開き、コード " << device.text("user_code")
                << " を入力してサインインしてください:\n  " << address << '\n'
                << std::flush;

    const std::string poll =
        "grant_type=" + FormEncode(kDeviceGrant) + "&" + client + "&device_code=" + FormEncode(deviceCode);
    int networkFailures = 0;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(interval));
        if (clock.UnixNow() > deadline) {
            context.err
                << "tessalyctl: コードの有効期限が切れました。もう一度 tessalyctl mail login を実行してください。\n";
            return kCtlFailed;
        }
        answer = transfer.oauthPost(endpoints.tokenUrl, poll, &error);
        // A network that drops for a moment is polled through, a few times.
        if (!answer && ++networkFailures <= kNetworkRetries)
            continue;
        if (!answer) {
            context.err << "tessalyctl: サインインを完了できませんでした: " << error << '\n';
            return kCtlFailed;
        }
        networkFailures = 0;
        const FlatJson json = ParseFlatJson(answer->body).value_or(FlatJson{});
        const std::string code = json.text("error");
        if (code == "authorization_pending")
            continue;
        if (code == "slow_down") {
            interval = std::min(interval + kSlowDownStep, kMaxInterval);
            continue;
        }
        if (code == "expired_token") {
            context.err
                << "tessalyctl: コードの有効期限が切れました。もう一度 tessalyctl mail login を実行してください。\n";
            return kCtlFailed;
        }
        if (code == "access_denied") {
            context.err << "tessalyctl: サインインが拒否されました。\n";
            return kCtlFailed;
        }
        const std::string accessToken = json.text("access_token");
        const std::string refreshToken = json.text("refresh_token");
        if (answer->status != 200 || accessToken.empty())
            return Refused(context, *answer, json);
        if (refreshToken.empty()) {
            context.err << "tessalyctl: 更新用のトークンが届きませんでした。スコープに offline_access "
                           "などの継続的なアクセスを含めてください。\n";
            return kCtlFailed;
        }
        StoredTokens tokens{settings.Conf_OAuthClient,
                            settings.Conf_SmtpAuthUser,
                            refreshToken,
                            accessToken,
                            clock.UnixNow() + json.integer("expires_in").value_or(3600),
                            {}};
        std::string notice;
        if (!SaveStoredTokens(context.folder, tokens, kCtlLockWaitSeconds, &error, &notice)) {
            context.err << "tessalyctl: サインインを保存できませんでした: " << error << '\n';
            return kCtlFailed;
        }
        if (!notice.empty())
            context.out << notice << '\n';
        context.out << "サインインしました: "
                    << (settings.Conf_SmtpAuthUser.empty() ? std::string("(Conf_SmtpAuthUser が空です)")
                                                           : settings.Conf_SmtpAuthUser)
                    << '\n';
        return kCtlOk;
    }
}

int RunMailLogout(CtlContext& context)
{
    std::string error;
    if (!RemoveStoredTokens(context.folder, kCtlLockWaitSeconds, &error)) {
        context.err << "tessalyctl: the sign-in could not be removed: " << error << '\n';
        return kCtlFailed;
    }
    context.out << "サインインを解除しました。\n";
    return kCtlOk;
}

} // namespace tessaly
