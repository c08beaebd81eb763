// SPDX-License-Identifier: MIT
#include "notify/OAuthSignIn.h"

#include "common/Clock.h"
#include "common/DataFolderLock.h"
#include "common/FileSystem.h"
#include "common/Json.h"
#include "common/NumericText.h"
#include "common/PathField.h"
#include "common/SecretStore.h"
#include "common/TextLines.h"
#include "settings/GsxSeq.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace tessaly {
namespace {

/// An access token is used only while it is good for this much longer.
constexpr int64_t kAccessMarginSeconds = 60;
/// The lifetime of an access token whose answer does not say.
constexpr int64_t kDefaultAccessSeconds = 3600;
/// How much of a provider's error description is shown.
constexpr size_t kDescriptionBytes = 200;

/// The record labels of the token file, in the order written.
constexpr std::string_view kClient = "client=";
constexpr std::string_view kAccount = "account=";
constexpr std::string_view kRefresh = "refresh=";
constexpr std::string_view kAccess = "access=";
constexpr std::string_view kExpires = "expires=";
constexpr std::string_view kTold = "told=";

constexpr std::string_view kSecrets = "secrets=";
/// The value of kSecrets when the tokens are in the keyring.
constexpr std::string_view kInKeyring = "keyring";

std::string TokenPath(const std::string& folder)
{
    return JoinPath(folder, kOAuthTokenFileName);
}

/// Applies one record of the token file (or of the keyring's secret);
/// `secrets` takes the kSecrets record.
void Apply(StoredTokens* tokens, const std::string& record, std::string* secrets)
{
    const auto take = [&](std::string_view label, std::string* field) {
        if (!record.starts_with(label))
            return false;
        *field = record.substr(label.size());
        return true;
    };
    std::string expires;
    if (take(kClient, &tokens->client) || take(kAccount, &tokens->account) || take(kRefresh, &tokens->refreshToken) ||
        take(kAccess, &tokens->accessToken) || take(kTold, &tokens->told) || take(kSecrets, secrets))
        return;
    if (take(kExpires, &expires))
        tokens->accessExpires = ParseDigits(expires).value_or(0);
}

/// What the token file holds; `inKeyring` tells whether the tokens
/// themselves are in the keyring. False when there is none or it cannot be
/// read (`error` says why; "" for a missing file).
bool ReadTokenFile(const std::string& folder, StoredTokens* tokens, bool* inKeyring, std::string* error)
{
    const std::string path = TokenPath(folder);
    error->clear();
    if (!FileHasContent(path) && IsRegularOrMissing(path, nullptr))
        return false;
    GsxSeq seq;
    const int opened = seq.OpenSeqFile(path);
    if (opened != GsxSeq::kOpened) {
        *error = opened == GsxSeq::kFailed ? seq.error() : path + " is not a token file";
        return false;
    }
    StoredTokens read;
    std::string record;
    std::string secrets;
    for (;;) {
        const int status = seq.GetSeqString(&record);
        if (status == GsxSeq::kEnd)
            break;
        if (status == GsxSeq::kFailed) {
            *error = seq.error();
            return false;
        }
        if (status == GsxSeq::kRecord)
            Apply(&read, record, &secrets);
    }
    *tokens = std::move(read);
    *inKeyring = secrets == kInKeyring;
    return true;
}

/// The tokens, from the file and the keyring it points to.
bool ReadTokens(const std::string& folder, StoredTokens* tokens, std::string* error)
{
    bool inKeyring = false;
    if (!ReadTokenFile(folder, tokens, &inKeyring, error))
        return false;
    std::string secret;
    switch (inKeyring ? LookupSecret(folder, kSecretOAuthTokens, &secret, error) : SecretResult::Missing) {
    case SecretResult::Unavailable: *error = "キーリングから読めませんでした: " + *error; return false;
    case SecretResult::Missing: break; // removed from the keyring: a new sign-in is needed
    case SecretResult::Done: {
        std::string_view line;
        std::string ignored;
        for (TextLines lines(secret); lines.next(&line);)
            Apply(tokens, std::string(line), &ignored);
        break;
    }
    }
    error->clear();
    return true;
}

/// Writes the token file; the lock of the data folder is held. The tokens
/// go into the keyring where there is one, else into the file, and
/// `notice` (when given) tells the user so when that is new to them.
bool WriteTokens(const std::string& folder, StoredTokens tokens, std::string* error, std::string* notice)
{
    StoredTokens before;
    bool wasInKeyring = false;
    std::string ignored;
    const bool existed = ReadTokenFile(folder, &before, &wasInKeyring, &ignored);
    std::string secrets;
    if (!tokens.refreshToken.empty() || !tokens.accessToken.empty()) {
        std::string why;
        const std::string secret =
            std::string(kRefresh) + tokens.refreshToken + "\n" + std::string(kAccess) + tokens.accessToken;
        if (StoreSecret(folder, kSecretOAuthTokens, tokens.account, secret, &why) == SecretResult::Done) {
            secrets = kInKeyring;
            tokens.refreshToken.clear();
            tokens.accessToken.clear();
        } else {
            if (notice && !(existed && !wasInKeyring && !before.refreshToken.empty()))
                *notice = SecretsInFileMessage(TokenPath(folder), why);
            // Moved to the file: no stale copy stays behind where it can.
            if (wasInKeyring)
                RemoveSecret(folder, kSecretOAuthTokens, &why);
        }
    } else if (wasInKeyring) {
        RemoveSecret(folder, kSecretOAuthTokens, &ignored);
    }
    GsxSeq seq;
    seq.MakeKeyTable();
    bool ok = seq.CreateSeqFile(TokenPath(folder));
    for (const std::string& record :
         {std::string(kClient) + tokens.client, std::string(kAccount) + tokens.account,
          std::string(kRefresh) + tokens.refreshToken, std::string(kAccess) + tokens.accessToken,
          std::string(kExpires) + std::to_string(tokens.accessExpires), std::string(kTold) + tokens.told,
          std::string(kSecrets) + secrets}) {
        if (!ok)
            break;
        ok = seq.PutSeqString(record);
    }
    ok = ok && seq.CloseSeqFile();
    if (!ok)
        *error = seq.error();
    return ok;
}

} // namespace

OAuthEndpoints EndpointsOf(const BasicSettings& settings)
{
    OAuthEndpoints endpoints;
    endpoints.mechanism =
        IsOn(settings.Conf_OAuthBearer) && settings.Conf_MailAuth != kMailAuthMicrosoft ? "OAUTHBEARER" : "XOAUTH2";
    if (settings.Conf_MailAuth == kMailAuthMicrosoft) {
        const std::string tenant = settings.Conf_OAuthTenant.empty() ? "common" : settings.Conf_OAuthTenant;
        const std::string base = "https://login.microsoftonline.com/" + FormEncode(tenant) + "/oauth2/v2.0/";
        endpoints.tokenUrl = base + "token";
        endpoints.deviceUrl = base + "devicecode";
        endpoints.authUrl = base + "authorize";
        endpoints.scope = "https://outlook.office.com/SMTP.Send offline_access";
    } else if (settings.Conf_MailAuth == kMailAuthGoogle) {
        endpoints.tokenUrl = "https://oauth2.googleapis.com/token";
        endpoints.authUrl = "https://accounts.google.com/o/oauth2/v2/auth";
        // A refresh token only with these, and again at every sign-in.
        endpoints.authExtra = "&access_type=offline&prompt=consent";
        endpoints.scope = "https://mail.google.com/";
    }
    if (!settings.Conf_OAuthTokenUrl.empty())
        endpoints.tokenUrl = settings.Conf_OAuthTokenUrl;
    if (!settings.Conf_OAuthDeviceUrl.empty() && settings.Conf_MailAuth != kMailAuthGoogle)
        endpoints.deviceUrl = settings.Conf_OAuthDeviceUrl;
    if (!settings.Conf_OAuthAuthUrl.empty())
        endpoints.authUrl = settings.Conf_OAuthAuthUrl;
    if (!settings.Conf_OAuthScope.empty())
        endpoints.scope = settings.Conf_OAuthScope;
    return endpoints;
}

std::string ClientForm(const BasicSettings& settings)
{
    std::string form = "client_id=" + FormEncode(settings.Conf_OAuthClient);
    if (!settings.Conf_OAuthSecret.empty())
        form += "&client_secret=" + FormEncode(settings.Conf_OAuthSecret);
    return form;
}

SignInRecord ReadSignInRecord(const std::string& folder)
{
    StoredTokens tokens;
    bool inKeyring = false;
    std::string error;
    if (!ReadTokenFile(folder, &tokens, &inKeyring, &error))
        return {};
    // The file points to the keyring only while the keyring holds tokens,
    // and a sign-in never keeps an access token without a refresh token.
    return {tokens.client, tokens.account, inKeyring || !tokens.refreshToken.empty()};
}

bool LoadStoredTokens(const std::string& folder, StoredTokens* tokens, std::string* error)
{
    return ReadTokens(folder, tokens, error);
}

bool SaveStoredTokens(const std::string& folder, const StoredTokens& tokens, double lockWaitSeconds, std::string* error,
                      std::string* notice)
{
    const DataFolderLock lock = DataFolderLock::Acquire(folder, lockWaitSeconds, error);
    return lock.held() && WriteTokens(folder, tokens, error, notice);
}

bool RemoveStoredTokens(const std::string& folder, double lockWaitSeconds, std::string* error)
{
    const DataFolderLock lock = DataFolderLock::Acquire(folder, lockWaitSeconds, error);
    if (!lock.held())
        return false;
    StoredTokens tokens;
    bool inKeyring = false;
    if (ReadTokenFile(folder, &tokens, &inKeyring, error) && inKeyring &&
        RemoveSecret(folder, kSecretOAuthTokens, error) != SecretResult::Done)
        return false;
    const std::string path = TokenPath(folder);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void ForgetAccessToken(const std::string& folder, const std::string& token, double lockWaitSeconds)
{
    std::string error;
    const DataFolderLock lock = DataFolderLock::Acquire(folder, lockWaitSeconds, &error);
    StoredTokens tokens;
    if (token.empty() || !lock.held() || !ReadTokens(folder, &tokens, &error) || tokens.accessToken != token)
        return;
    tokens.accessToken.clear();
    tokens.accessExpires = 0;
    WriteTokens(folder, tokens, &error, nullptr);
}

bool IsRefusedToken(std::string_view reply)
{
    return reply.find("アクセストークンを受け付けませんでした") != std::string_view::npos;
}

std::string FormEncode(std::string_view text)
{
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~')
            out.push_back(c);
        else
            AppendPercentByte(&out, byte);
    }
    return out;
}

std::string SignInNeededMessage()
{
    return "OAuth 2.0 のサインインが必要です。設定画面か `tessalyctl mail login` でサインインしてください。"
           "送信待ちのﾒｰﾙはサインイン後に送信します。";
}

std::string DescribeTokenError(const std::string& code, const std::string& description)
{
    std::string text;
    if (code == "invalid_client" || code == "unauthorized_client")
        text = "クライアントIDが正しくないか、シークレットが違うか、このサインインに使えません。Conf_OAuthClient と "
               "Conf_OAuthSecret を確認してください";
    else if (code == "invalid_grant")
        text = "サインインが無効になりました";
    else if (code == "invalid_scope")
        text = "スコープが受け付けられませんでした。Conf_OAuthScope を確認してください";
    else
        text = "トークンを取得できませんでした";
    text += " (" + (code.empty() ? std::string("不明な応答") : code);
    // The description is the provider's text: one line, kept short.
    if (!description.empty())
        text += ": " + OneLineExcerpt(description, kDescriptionBytes);
    return text + ")";
}

AccessTokenResult ObtainAccessToken(MailTransfer& transfer, const BasicSettings& settings, const std::string& folder,
                                    const Clock& clock, double lockWaitSeconds)
{
    using Status = AccessTokenResult::Status;
    AccessTokenResult result;
    StoredTokens tokens;
    std::string error;
    // One read-modify-write under the lock: a refresh elsewhere that
    // rotated the refresh token meanwhile is read here, never overwritten.
    const DataFolderLock lock = DataFolderLock::Acquire(folder, lockWaitSeconds, &error);
    if (!lock.held()) {
        result.message = "トークンを更新できませんでした: " + error;
        result.tell = true;
        return result;
    }
    const bool stored = ReadTokens(folder, &tokens, &error);
    if (!stored && !error.empty()) {
        result.message = "サインインの記録を読めませんでした: " + error;
        result.tell = true;
        return result;
    }
    // Tokens of another client id cannot be refreshed with this one.
    if (!stored || tokens.refreshToken.empty() || tokens.client != settings.Conf_OAuthClient) {
        result.status = Status::SignInNeeded;
        result.message = SignInNeededMessage();
        result.tell = !(stored && tokens.told == kToldSignIn && tokens.client == settings.Conf_OAuthClient);
        if (result.tell) {
            StoredTokens marked{settings.Conf_OAuthClient, {}, {}, {}, 0, std::string(kToldSignIn)};
            WriteTokens(folder, marked, &error, nullptr);
        }
        return result;
    }
    const int64_t now = clock.UnixNow();
    if (!tokens.accessToken.empty() && tokens.accessExpires - now >= kAccessMarginSeconds) {
        result.status = Status::Ready;
        result.token = tokens.accessToken;
        return result;
    }
    const OAuthEndpoints endpoints = EndpointsOf(settings);
    std::string form =
        "grant_type=refresh_token&" + ClientForm(settings) + "&refresh_token=" + FormEncode(tokens.refreshToken);
    if (!endpoints.scope.empty())
        form += "&scope=" + FormEncode(endpoints.scope);
    const std::optional<OAuthAnswer> answer = transfer.oauthPost(endpoints.tokenUrl, form, &error);
    if (!answer) {
        result.message = "トークンを更新できませんでした: " + error;
        result.tell = true;
        return result;
    }
    const FlatJson json = ParseFlatJson(answer->body).value_or(FlatJson{});
    const std::string accessToken = json.text("access_token");
    if (answer->status == 200 && !accessToken.empty()) {
        tokens.accessToken = accessToken;
        tokens.accessExpires = now + json.integer("expires_in").value_or(kDefaultAccessSeconds);
        if (std::string rotated = json.text("refresh_token"); !rotated.empty())
            tokens.refreshToken = std::move(rotated);
        tokens.told.clear();
        // A token that cannot be kept still serves this session.
        WriteTokens(folder, tokens, &error, &result.notice);
        result.status = Status::Ready;
        result.token = accessToken;
        return result;
    }
    const std::string code = json.text("error");
    if (code == "invalid_grant") {
        result.status = Status::SignInNeeded;
        result.message = DescribeTokenError(code, json.text("error_description")) + "。" + SignInNeededMessage();
        result.tell = true;
        StoredTokens marked{tokens.client, tokens.account, {}, {}, 0, std::string(kToldSignIn)};
        WriteTokens(folder, marked, &error, nullptr);
        return result;
    }
    if (code == "invalid_client" || code == "unauthorized_client") {
        result.status = Status::ClientRejected;
        result.message = DescribeTokenError(code, json.text("error_description")) + "。";
        result.tell = tokens.told != kToldClient;
        if (result.tell) {
            tokens.told = std::string(kToldClient);
            WriteTokens(folder, tokens, &error, nullptr);
        }
        return result;
    }
    result.message =
        DescribeTokenError(code, json.text("error_description")) + " (HTTP " + std::to_string(answer->status) + ")";
    result.tell = true;
    return result;
}

} // namespace tessaly
