// SPDX-License-Identifier: MIT
// tessalyctl mail login [--browser] | mail logout: the OAuth 2.0 sign-in of
// the SMTP login, by the device authorization grant (RFC 8628) or, with
// --browser, by the authorization code grant through this machine's browser.
#include "cli/Ctl.h"

#include "common/FileSystem.h"
#include "notify/ComponentMailTransfer.h"
#include "notify/OAuthGrant.h"
#include "notify/OAuthSignIn.h"
#include "settings/BasicSettings.h"
#include "settings/CheckedSettings.h"

namespace tessaly {
namespace {

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

} // namespace

int RunMailLogin(CtlContext& context, bool browser)
{
    BasicSettings settings;
    if (!LoadSignInSettings(context, &settings))
        return kCtlFailed;
    MailTransfer& transfer = InstalledMailTransfer();
    const SignInCancel cancel;
    std::string error;
    SignInOutcome outcome;
    if (browser) {
        BrowserSignIn signIn;
        if (!signIn.start(settings, &error)) {
            context.err << "tessalyctl: " << error << '\n';
            return kCtlFailed;
        }
        context.out << "次のアドレスをこのコンピューターのブラウザーで開いて、サインインしてください:\n  "
                    << signIn.address() << '\n'
                    << std::flush;
        outcome = signIn.finish(transfer, context.folder, cancel);
    } else {
        if (settings.Conf_MailAuth == kMailAuthGoogle) {
            context.err << "tessalyctl: Google ではコードでのサインインでﾒｰﾙを送れません。tessalyctl mail login "
                           "--browser でサインインしてください。\n";
            return kCtlFailed;
        }
        const std::optional<DeviceSignIn> device = StartDeviceSignIn(transfer, settings, &error);
        if (!device) {
            context.err << "tessalyctl: " << error << '\n';
            return kCtlFailed;
        }
        context.out << "次のアドレスをブラウザーで開き、コード " << device->userCode
                    << " を入力してサインインしてください:\n  " << device->address << '\n'
                    << std::flush;
        outcome = FinishDeviceSignIn(transfer, settings, context.folder, *device, cancel);
    }
    if (!outcome.signedIn) {
        context.err << "tessalyctl: " << outcome.message << '\n';
        return kCtlFailed;
    }
    context.out << "サインインしました: "
                << (outcome.account.empty() ? std::string("(Conf_SmtpAuthUser が空です)") : outcome.account) << '\n';
    return kCtlOk;
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
