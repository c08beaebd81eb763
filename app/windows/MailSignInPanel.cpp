// SPDX-License-Identifier: MIT
#include "windows/MailSignInPanel.h"

#include "common/Cp932.h"
#include "common/UserMessages.h"
#include "notify/ComponentMailTransfer.h"
#include "notify/OAuthGrant.h"
#include "resident/QtUserMessages.h"
#include "settings/CheckedSettings.h"
#include "windows/ShiftJisInput.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace tessaly {
namespace {

const QString kStarMask = QStringLiteral("QLineEdit { lineedit-password-character: 42; }");

/// The choices of Cmb_MailAuth, in the order of the values of Conf_MailAuth.
const char* const kKinds[] = {"パスワード", "OAuth 2.0 (Microsoft 365)", "OAuth 2.0 (Google)", "OAuth 2.0 (その他)"};

} // namespace

MailSignInPanel::MailSignInPanel(BasicSettings& settings, std::string folder, UserMessages& messages, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_folder(std::move(folder)), m_messages(messages),
      m_kind(new QComboBox(this)), m_signIn(new QPushButton(QStringLiteral("サインイン"), this)),
      m_account(new QLabel(this)), m_bearer(new QCheckBox(QStringLiteral("OAUTHBEARER で送る"), this))
{
    setObjectName(QStringLiteral("MailSignIn"));
    using S = BasicSettings;
    constexpr int16_t kMs = kMailAuthMicrosoft;
    constexpr int16_t kGoogle = kMailAuthGoogle;
    constexpr int16_t kOther = kMailAuthOther;
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(3);
    m_kind->setObjectName(QStringLiteral("Cmb_MailAuth"));
    m_kind->setAccessibleName(QStringLiteral("認証方式"));
    for (const char* kind : kKinds)
        m_kind->addItem(QString::fromUtf8(kind));
    auto* kindLabel = new QLabel(QStringLiteral("認証方式"), this);
    kindLabel->setBuddy(m_kind);
    grid->addWidget(kindLabel, 0, 0);
    grid->addWidget(m_kind, 0, 1);
    m_signIn->setObjectName(QStringLiteral("Cmd_SignIn"));
    m_signIn->setAutoDefault(false);
    grid->addWidget(m_signIn, 0, 2);
    m_account->setObjectName(QStringLiteral("Lbl_OAuthAccount"));
    m_account->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(m_account, 0, 3);
    // Two boxes to a row; the secret and the tenant share a place, since
    // no kind uses both.
    const auto place = [&](QLineEdit* box, int row, int column) {
        grid->addWidget(m_labels.back(), row, column);
        grid->addWidget(box, row, column + 1);
    };
    place(addBox("Txt_OAuthClient", "ｸﾗｲｱﾝﾄID", &S::Conf_OAuthClient, {kMs, kGoogle, kOther}), 1, 0);
    place(addBox("Txt_OAuthSecret", "ｸﾗｲｱﾝﾄｼｰｸﾚｯﾄ", &S::Conf_OAuthSecret, {kGoogle, kOther}, true), 1, 2);
    place(addBox("Txt_OAuthTenant", "ﾃﾅﾝﾄ", &S::Conf_OAuthTenant, {kMs}), 1, 2);
    place(addBox("Txt_OAuthAuthUrl", "認可のｱﾄﾞﾚｽ", &S::Conf_OAuthAuthUrl, {kOther}), 2, 0);
    place(addBox("Txt_OAuthTokenUrl", "ﾄｰｸﾝのｱﾄﾞﾚｽ", &S::Conf_OAuthTokenUrl, {kOther}), 2, 2);
    place(addBox("Txt_OAuthDeviceUrl", "ﾃﾞﾊﾞｲｽ認可のｱﾄﾞﾚｽ", &S::Conf_OAuthDeviceUrl, {kOther}), 3, 0);
    place(addBox("Txt_OAuthScope", "ｽｺｰﾌﾟ", &S::Conf_OAuthScope, {kOther}), 3, 2);
    m_bearer->setObjectName(QStringLiteral("Chk_OAuthBearer"));
    m_bearer->setChecked(IsOn(m_settings.Conf_OAuthBearer));
    grid->addWidget(m_bearer, 4, 0, 1, 4);
    connect(m_bearer, &QCheckBox::toggled, this, [this](bool on) {
        m_settings.Conf_OAuthBearer = on ? 1 : 0;
        emit edited();
    });
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    const bool known = m_settings.Conf_MailAuth >= kMailAuthPassword && m_settings.Conf_MailAuth <= kMailAuthOther;
    m_kind->setCurrentIndex(known ? m_settings.Conf_MailAuth : kMailAuthPassword);
    connect(m_kind, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_settings.Conf_MailAuth = static_cast<int16_t>(index);
        if (index == kMailAuthMicrosoft)
            m_bearer->setChecked(false);
        showKind();
        emit edited();
    });
    connect(m_signIn, &QPushButton::clicked, this, &MailSignInPanel::signIn);
    showKind();
}

MailSignInPanel::~MailSignInPanel()
{
    if (m_worker.joinable()) {
        m_cancel->cancel();
        m_worker.join();
    }
}

QLineEdit* MailSignInPanel::addBox(const char* name, const char* caption, std::string BasicSettings::*field,
                                   std::vector<int16_t> kinds, bool masked)
{
    auto* box = new QLineEdit(QString::fromStdString(m_settings.*field), this);
    box->setObjectName(QLatin1String(name));
    box->setAccessibleName(QString::fromUtf8(caption));
    if (masked) {
        box->setEchoMode(QLineEdit::Password);
        box->setStyleSheet(kStarMask);
    }
    GuardShiftJisInput(box, {QString::fromUtf8(caption), masked}, m_messages);
    auto* label = new QLabel(QString::fromUtf8(caption), this);
    label->setBuddy(box);
    m_labels.push_back(label);
    m_boxes.push_back({box, field, caption, std::move(kinds)});
    connect(box, &QLineEdit::textChanged, this, [this, field](const QString& typed) {
        const std::string value = typed.toStdString();
        if (!IsCp932Representable(value))
            return;
        m_settings.*field = value;
        if (field == &BasicSettings::Conf_OAuthClient)
            showAccount();
        emit edited();
    });
    return box;
}

bool MailSignInPanel::usesOAuth() const
{
    return m_kind->currentIndex() != kMailAuthPassword;
}

void MailSignInPanel::showKind()
{
    const auto kind = static_cast<int16_t>(m_kind->currentIndex());
    for (size_t i = 0; i < m_boxes.size(); ++i) {
        const std::vector<int16_t>& kinds = m_boxes[i].kinds;
        const bool shown = std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
        m_boxes[i].box->setVisible(shown);
        m_labels[i]->setVisible(shown);
    }
    m_signIn->setVisible(usesOAuth());
    m_account->setVisible(usesOAuth());
    m_bearer->setVisible(kind == kMailAuthGoogle || kind == kMailAuthOther);
    m_signedIn = ReadSignInRecord(m_folder);
    showAccount();
}

void MailSignInPanel::showAccount()
{
    // A sign-in with another client id cannot be used with this one.
    if (!m_signedIn.signedIn || m_signedIn.client != m_settings.Conf_OAuthClient) {
        m_account->setText(QStringLiteral("サインインしていません"));
        return;
    }
    const std::string& account = m_signedIn.account;
    m_account->setText(QStringLiteral("サインイン中: ") +
                       (account.empty() ? QStringLiteral("(アカウント不明)") : QString::fromStdString(account)));
}

bool MailSignInPanel::valuesCanWork()
{
    for (const Box& box : m_boxes) {
        if (!box.box->isVisibleTo(this) || !box.box->isEnabledTo(this))
            continue;
        const std::string reason = SettingValueProblem(BasicSettingKey(box.field), box.box->text().toStdString());
        if (reason.empty())
            continue;
        m_messages.ShowMessage(box.caption + ("は" + reason));
        box.box->setFocus();
        box.box->selectAll();
        return false;
    }
    return true;
}

void MailSignInPanel::signIn()
{
    if (m_worker.joinable())
        return;
    if (std::string problem = OAuthSettingsProblem(m_settings); !problem.empty()) {
        m_messages.ShowMessage(problem);
        return;
    }
    bool browser = true;
    if (OffersDeviceSignIn(m_settings)) {
        std::unique_ptr<QMessageBox> ask =
            MakeMessageBox("サインインの方法を選んでください。\r\nこのコンピューターのブラウザーでサインインするか、"
                           "ほかの機器のブラウザーでコードを入力してサインインします。",
                           QMessageBox::Cancel);
        QPushButton* inBrowser = ask->addButton(QStringLiteral("ブラウザーで"), QMessageBox::AcceptRole);
        QPushButton* withCode = ask->addButton(QStringLiteral("コードで"), QMessageBox::AcceptRole);
        ask->setDefaultButton(inBrowser);
        ask->exec();
        if (ask->clickedButton() == withCode)
            browser = false;
        else if (ask->clickedButton() != inBrowser)
            return;
    }
    m_cancel = std::make_unique<SignInCancel>();
    const SignInCancel* cancel = m_cancel.get();
    const auto ended = [this](const SignInOutcome& outcome) {
        QMetaObject::invokeMethod(
            this,
            [this, outcome] {
                signInEnded(outcome.signedIn, outcome.cancelled, outcome.signedIn ? outcome.account : outcome.message);
            },
            Qt::QueuedConnection);
    };
    if (browser) {
        auto flow = std::make_shared<BrowserSignIn>();
        std::string error;
        if (!flow->start(m_settings, &error)) {
            m_messages.ShowMessage(error);
            return;
        }
        const QString address = QString::fromStdString(flow->address());
        QDesktopServices::openUrl(QUrl::fromEncoded(address.toLatin1()));
        runSignIn(QStringLiteral("ブラウザーでサインインしてください。ブラウザーが開かないときは、"
                                 "次のアドレスをこのコンピューターのブラウザーで開いてください:\n") +
                      address,
                  [flow, folder = m_folder, cancel, ended] {
                      ended(flow->finish(InstalledMailTransfer(), folder, *cancel));
                  });
        return;
    }
    runSignIn(
        QStringLiteral("コードを取得しています…"), [this, settings = m_settings, folder = m_folder, cancel, ended] {
            std::string error;
            const std::optional<DeviceSignIn> device = StartDeviceSignIn(InstalledMailTransfer(), settings, &error);
            if (!device) {
                SignInOutcome failed;
                failed.message = error;
                ended(failed);
                return;
            }
            const QString text =
                QStringLiteral("ほかの機器のブラウザーで次のアドレスを開き、コード %1 を入力して"
                               "サインインしてください:\n%2")
                    .arg(QString::fromStdString(device->userCode), QString::fromStdString(device->address));
            QMetaObject::invokeMethod(
                this,
                [this, text] {
                    if (m_waitingText)
                        m_waitingText->setText(text);
                },
                Qt::QueuedConnection);
            ended(FinishDeviceSignIn(InstalledMailTransfer(), settings, folder, *device, *cancel));
        });
}

void MailSignInPanel::runSignIn(const QString& waiting, std::function<void()> work)
{
    m_waiting = new QDialog(this);
    m_waiting->setObjectName(QStringLiteral("SignInWaiting"));
    m_waiting->setWindowTitle(QStringLiteral("サインイン"));
    m_waiting->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(m_waiting);
    m_waitingText = new QLabel(waiting, m_waiting);
    m_waitingText->setObjectName(QStringLiteral("Lbl_SignInWaiting"));
    m_waitingText->setWordWrap(true);
    m_waitingText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_waitingText);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, m_waiting);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    layout->addWidget(buttons);
    // Closing the window cancels as the button does; the sign-in ends at
    // once and reports back.
    connect(buttons, &QDialogButtonBox::rejected, m_waiting, &QDialog::reject);
    connect(m_waiting, &QDialog::rejected, this, [this] { m_cancel->cancel(); });
    m_signIn->setEnabled(false);
    m_waiting->show();
    m_worker = std::thread(std::move(work));
}

void MailSignInPanel::signInEnded(bool signedIn, bool cancelled, const std::string& message)
{
    if (m_worker.joinable())
        m_worker.join();
    m_cancel.reset();
    if (m_waiting) {
        m_waiting->disconnect(this);
        m_waiting->deleteLater();
        m_waiting = nullptr;
        m_waitingText = nullptr;
    }
    m_signIn->setEnabled(true);
    m_signedIn = ReadSignInRecord(m_folder);
    showAccount();
    if (signedIn)
        m_messages.ShowMessage("サインインしました: " + message);
    else if (!cancelled)
        m_messages.ShowMessage("サインインできませんでした。\r\n" + message);
}

} // namespace tessaly
