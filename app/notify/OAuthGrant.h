// SPDX-License-Identifier: MIT
#pragma once

#include "notify/MailTransfer.h"
#include "settings/BasicSettings.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tessaly {

/// Ends the wait of a sign-in (for the browser, between the polls of the
/// device flow) from any thread.
class SignInCancel {
public:
    SignInCancel();
    ~SignInCancel();
    SignInCancel(const SignInCancel&) = delete;
    SignInCancel& operator=(const SignInCancel&) = delete;

    void cancel();
    bool cancelled() const;
    /// Waits `milliseconds` unless cancelled before: true when cancelled.
    bool wait(int64_t milliseconds) const;
    /// Readable once cancelled.
    int fd() const { return m_pipe[0]; }

private:
    int m_pipe[2] = {-1, -1};
};

/// How a sign-in ended.
struct SignInOutcome {
    bool signedIn = false;
    bool cancelled = false;
    std::string account; ///< who signed in
    std::string message; ///< for the user, when not signed in (and not cancelled)
};

/// How long the browser flow waits for the browser to come back.
inline constexpr int kBrowserWaitSeconds = 300;

/// The authorization code grant with PKCE S256 (RFC 7636) and a loopback
/// redirect (RFC 8252): the browser is sent to the provider's sign-in
/// page, which sends it back to http://127.0.0.1:PORT/ with the code.
class BrowserSignIn {
public:
    BrowserSignIn() = default;
    ~BrowserSignIn();
    BrowserSignIn(const BrowserSignIn&) = delete;
    BrowserSignIn& operator=(const BrowserSignIn&) = delete;

    /// Listens on a free port of 127.0.0.1 and makes the address to open in
    /// the browser. False with `error` set.
    bool start(const BasicSettings& settings, std::string* error);
    /// The address of the provider's sign-in page, after start().
    const std::string& address() const { return m_address; }
    /// Waits for the one redirect (at most `waitSeconds`, or until
    /// cancelled), answers the browser with a short page, exchanges the
    /// code and stores the tokens in `folder`. The redirect must carry the
    /// state this sign-in made. Blocks.
    SignInOutcome finish(MailTransfer& transfer, const std::string& folder, const SignInCancel& cancel,
                         int waitSeconds = kBrowserWaitSeconds);

private:
    BasicSettings m_settings;
    int m_listener = -1;
    std::string m_redirect;
    std::string m_state;
    std::string m_verifier;
    std::string m_address;
};

/// A device authorization (RFC 8628) waiting for the user.
struct DeviceSignIn {
    std::string deviceCode;
    std::string userCode; ///< what the user types at `address`
    std::string address;
    int64_t interval = 5; ///< seconds between polls
    int64_t deadline = 0; ///< Unix time the code runs out
};

/// True when the settings' provider offers the device flow.
bool OffersDeviceSignIn(const BasicSettings& settings);

/// Asks for a device code. Nothing, with `error` set, when none came.
std::optional<DeviceSignIn> StartDeviceSignIn(MailTransfer& transfer, const BasicSettings& settings,
                                              std::string* error);

/// Polls the token endpoint until the user signed in or refused, the code
/// ran out or `cancel` ends it; stores the tokens in `folder`. Blocks.
SignInOutcome FinishDeviceSignIn(MailTransfer& transfer, const BasicSettings& settings, const std::string& folder,
                                 DeviceSignIn device, const SignInCancel& cancel);

} // namespace tessaly
