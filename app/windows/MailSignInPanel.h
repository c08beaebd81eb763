// SPDX-License-Identifier: MIT
#pragma once

#include "notify/OAuthSignIn.h"
#include "settings/BasicSettings.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tessaly {

class SignInCancel;
class UserMessages;

/// The sign-in part of the mail settings: how the SMTP login signs in
/// (Cmb_MailAuth: password or OAuth 2.0 with Microsoft 365, Google or
/// another provider), the client registration and, for another provider,
/// its addresses and scope, and whether the login offers the token by
/// OAUTHBEARER (Chk_OAuthBearer; Microsoft 365 takes XOAUTH2 only, so the
/// box is hidden and cleared for it); each control shows only for the kinds
/// that use it.
/// サインイン (Cmd_SignIn) signs in through the browser or, where the
/// provider offers it, with a code typed on another device; the wait shows
/// in a window with a cancel button while the dialog stays usable. The
/// account signed in shows beside it (Lbl_OAuthAccount). Every edit goes
/// into `settings` at once and is announced by edited(). UI thread only.
class MailSignInPanel final : public QWidget {
    Q_OBJECT

public:
    /// `settings` and `messages` must outlive the panel; `folder` is the
    /// data folder that keeps the sign-in.
    MailSignInPanel(BasicSettings& settings, std::string folder, UserMessages& messages, QWidget* parent = nullptr);
    /// Cancels a sign-in under way and waits for it to end.
    ~MailSignInPanel() override;

    /// True when the kind shown signs in by OAuth 2.0.
    bool usesOAuth() const;
    /// False, after a message naming the box, when a box shown holds a
    /// value that cannot work; that box then takes the focus.
    bool valuesCanWork();

signals:
    void edited();

private:
    struct Box {
        QLineEdit* box;
        std::string BasicSettings::*field;
        const char* caption;
        std::vector<int16_t> kinds; ///< the kinds that show it
    };
    QLineEdit* addBox(const char* name, const char* caption, std::string BasicSettings::*field,
                      std::vector<int16_t> kinds, bool masked = false);
    void showKind();
    void showAccount();
    void signIn();
    /// Runs `work` on a thread of its own, with a window that tells
    /// `waiting` and can cancel it.
    void runSignIn(const QString& waiting, std::function<void()> work);
    void signInEnded(bool signedIn, bool cancelled, const std::string& message);

    BasicSettings& m_settings;
    std::string m_folder;
    UserMessages& m_messages;
    QComboBox* m_kind;
    QPushButton* m_signIn;
    QLabel* m_account;
    QCheckBox* m_bearer;
    std::vector<Box> m_boxes;
    std::vector<QLabel*> m_labels; ///< each box's label, by index
    /// The sign-in of the data folder, read when the kind is shown and
    /// after a sign-in; a client id typed is compared with it.
    SignInRecord m_signedIn;
    QDialog* m_waiting = nullptr;
    QLabel* m_waitingText = nullptr;
    std::unique_ptr<SignInCancel> m_cancel;
    std::thread m_worker;
};

} // namespace tessaly
