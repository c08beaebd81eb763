// SPDX-License-Identifier: MIT
// The settings window's サインイン button end to end, against the test
// token service: the browser sign-in with the test as the browser, and the
// sign-in with a code the test approves as the user, and its cancel button.
#include "MailServer.h"
#include "TokenClient.h"
#include "support/RecordingMessages.h"
#include "support/TempFolder.h"

#include "notify/OAuthSignIn.h"
#include "windows/MailSignInPanel.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <thread>

using namespace tessaly;
using namespace tessaly::test;

namespace {

constexpr int kWaitMs = 30000;

/// The browser the panel opens: it signs in at the token service and
/// follows the redirect back to the program, on a thread of its own so
/// that the program's window stays free to answer.
class TestBrowser final : public QObject {
    Q_OBJECT

public:
    ~TestBrowser() override
    {
        if (m_user.joinable())
            m_user.join();
    }
    QUrl opened;

public slots:
    void open(const QUrl& url)
    {
        opened = url;
        m_user = std::thread([this, address = url.toString(QUrl::FullyEncoded).toStdString()] {
            std::string back;
            BrowserGet(address, &back);
            BrowserGet(back);
        });
    }

private:
    std::thread m_user;
};

struct Panel {
    Panel()
    {
        const MailServer& server = MailServer::Get();
        settings.Conf_SmtpAuth = 1;
        settings.Conf_SmtpAuthUser = server.address("sender");
        settings.Conf_MailAuth = kMailAuthOther;
        settings.Conf_OAuthClient = TokenClient::kClientId;
        settings.Conf_OAuthTokenUrl = server.tokenUrl() + "/token";
        settings.Conf_OAuthScope = "mail";
    }
    void show()
    {
        panel = std::make_unique<MailSignInPanel>(settings, folder.path(), messages);
        panel->show();
    }
    QPushButton* button() const { return panel->findChild<QPushButton*>(QStringLiteral("Cmd_SignIn")); }
    QString account() const { return panel->findChild<QLabel*>(QStringLiteral("Lbl_OAuthAccount"))->text(); }
    /// Presses サインイン and answers the question of the way with `way`.
    void signIn(const QString& way)
    {
        QTimer::singleShot(0, [way] {
            auto* ask = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            for (QAbstractButton* choice : ask ? ask->buttons() : QList<QAbstractButton*>()) {
                if (choice->text() == way)
                    choice->click();
            }
        });
        button()->click();
    }
    /// The code the waiting window shows, once it shows one.
    QString code() const
    {
        const QRegularExpression shown(QStringLiteral("コード (\\S+) を入力"));
        QString found;
        (void)QTest::qWaitFor(
            [&] {
                auto* text = panel->findChild<QLabel*>(QStringLiteral("Lbl_SignInWaiting"));
                found = text ? shown.match(text->text()).captured(1) : QString();
                return !found.isEmpty();
            },
            kWaitMs);
        return found;
    }

    TempFolder folder;
    BasicSettings settings;
    RecordingMessages messages;
    std::unique_ptr<MailSignInPanel> panel;
};

} // namespace

class MailSignInTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TESSALY_KEYRING", "0"); }
    void browserSignInComesBackToTheWindow();
    void codeSignInIsApprovedOrCancelled();
};

void MailSignInTest::browserSignInComesBackToTheWindow()
{
    Panel p;
    p.settings.Conf_OAuthClient = "tessaly-installed";
    p.settings.Conf_OAuthSecret = "installed-secret";
    p.settings.Conf_OAuthAuthUrl = MailServer::Get().tokenUrl() + "/authorize";
    TestBrowser browser;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "open");
    p.show();
    QCOMPARE(p.account(), QStringLiteral("サインインしていません"));
    p.button()->click(); // no device address: no question of the way
    QVERIFY(browser.opened.toString().contains(QStringLiteral("code_challenge_method=S256")));
    QVERIFY(!p.button()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(p.messages.messages.size(), size_t(1), kWaitMs);
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    const QString sender = QString::fromStdString(MailServer::Get().address("sender"));
    QCOMPARE(QString::fromStdString(p.messages.messages[0]), QStringLiteral("サインインしました: ") + sender);
    QCOMPARE(p.account(), QStringLiteral("サインイン中: ") + sender);
    QVERIFY(p.button()->isEnabled());
    QVERIFY(!p.panel->findChild<QDialog*>(QStringLiteral("SignInWaiting")));
}

void MailSignInTest::codeSignInIsApprovedOrCancelled()
{
    Panel p;
    p.settings.Conf_OAuthDeviceUrl = MailServer::Get().tokenUrl() + "/device_authorization";
    p.show();
    // Cancelled while it waits for the user: nothing said, nothing kept.
    p.signIn(QStringLiteral("コードで"));
    QVERIFY(!p.code().isEmpty());
    p.panel->findChild<QDialog*>(QStringLiteral("SignInWaiting"))->reject();
    QTRY_VERIFY_WITH_TIMEOUT(p.button()->isEnabled(), kWaitMs);
    QVERIFY(p.messages.messages.empty());
    QCOMPARE(p.account(), QStringLiteral("サインインしていません"));

    p.signIn(QStringLiteral("コードで"));
    const QString code = p.code();
    const std::string sender = MailServer::Get().address("sender");
    TokenClient(MailServer::Get().tokenUrl())
        .Post("/test/approve", "user_code=" + code.toStdString() + "&username=" +
                                   QUrl::toPercentEncoding(QString::fromStdString(sender)).toStdString());
    QTRY_COMPARE_WITH_TIMEOUT(p.messages.messages.size(), size_t(1), kWaitMs);
    QCOMPARE(p.messages.messages[0], "サインインしました: " + sender);
    QCOMPARE(p.account(), QStringLiteral("サインイン中: ") + QString::fromStdString(sender));
}

QTEST_MAIN(MailSignInTest)
#include "MailSignInTest.moc"
