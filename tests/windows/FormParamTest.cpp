// SPDX-License-Identifier: MIT
// The basic settings dialog: its controls, the enabling rules, the numeric
// boxes and the Update button.
#include "WindowsHarness.h"

#include "common/FileSystem.h"
#include "notify/OAuthSignIn.h"
#include "settings/BasicSettings.h"
#include "windows/FormParam.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>

#include <array>
#include <sys/stat.h>
#include <vector>

using namespace tessaly;
using namespace tessaly::test;

namespace {

// Every control the enabling rules touch.
const QStringList kDependents{
    "Txt_Passwd",       "Txt_SmtpSrv",        "Txt_SmtpPort", "Txt_PopSrv",        "Txt_PopPort",   "Txt_PopUser",
    "Txt_PopPasswd",    "Txt_SmtpName",       "Txt_SmtpAddr", "Chk_PopBeforeSMTP", "Chk_SmtpAuth",  "Chk_SmtpAuthMD5",
    "Txt_SmtpAuthUser", "Txt_SmtpAuthPasswd", "Chk_MailAdd",  "Chk_Zip",           "Txt_ZipPasswd", "Txt_MAXSize"};
const QStringList kMailBasics{"Txt_SmtpSrv",       "Txt_SmtpPort",  "Txt_PopSrv",   "Txt_PopPort",
                              "Txt_PopUser",       "Txt_PopPasswd", "Txt_SmtpName", "Txt_SmtpAddr",
                              "Chk_PopBeforeSMTP", "Chk_SmtpAuth",  "Chk_MailAdd"};

struct ParamFixture {
    explicit ParamFixture(const BasicSettings& settings = {})
    {
        h.data.settings = settings;
        h.context.settingsSaved = [this] { ++saves; };
        form = std::make_unique<FormParam>(h.context);
        form->show();
    }
    template <typename T = QWidget>
    T* control(const QString& name) const
    {
        T* widget = form->findChild<T*>(name);
        if (!widget)
            qFatal("no control %s", qPrintable(name));
        return widget;
    }
    QStringList enabled() const
    {
        QStringList names;
        for (const QString& name : kDependents) {
            if (control(name)->isEnabled())
                names << name;
        }
        return names;
    }
    bool updateEnabled() const { return control("Command2")->isEnabled(); }
    void click(const QString& name) { QTest::mouseClick(control(name), Qt::LeftButton, {}, QPoint(8, 8)); }

    WindowsHarness h;
    int saves = 0; ///< how often the program was told of a save
    std::unique_ptr<FormParam> form;
};

} // namespace

class FormParamTest final : public QObject {
    Q_OBJECT

private slots:
    void controlsShowTheStoredSettings();
    void enablingRules_data();
    void enablingRules();
    void numericBoxesRefuseWhatIsNotANumber();
    void textShiftJisCannotHoldIsRefusedTypedOrPasted();
    void updateSavesAndSaysSo();
    void updateRefusesValuesThatCannotWork_data();
    void updateRefusesValuesThatCannotWork();
    void enterSavesAndEscapeCloses();
    void loginStartBoxSetsTheAutostartEntryOnUpdate();
    void signInKindShowsItsBoxesAndSavesThem_data();
    void signInKindShowsItsBoxesAndSavesThem();
};

void FormParamTest::controlsShowTheStoredSettings()
{
    BasicSettings settings;
    settings.Conf_Mail = 1;
    settings.Conf_SmtpAuthMD5 = 2; // only 1 counts as on
    settings.Conf_SmtpSrv = "smtp.example.jp";
    settings.Conf_PopPasswd = "秘密";
    settings.Conf_MaxSize = "3";
    ParamFixture f(settings);
    QVERIFY(f.control<QCheckBox>("Chk_Mail")->isChecked());
    QVERIFY(!f.control<QCheckBox>("Chk_SmtpAuthMD5")->isChecked());
    QCOMPARE(f.control<QLineEdit>("Txt_SmtpSrv")->text(), QStringLiteral("smtp.example.jp"));
    QCOMPARE(f.control<QLineEdit>("Txt_PopPasswd")->text(), QStringLiteral("秘密"));
    QCOMPARE(f.control<QLineEdit>("Txt_MAXSize")->text(), QStringLiteral("3"));
    QCOMPARE(f.control<QLineEdit>("Txt_Settle")->text(), QStringLiteral("5"));
    for (const char* masked : {"Txt_Passwd", "Txt_PopPasswd", "Txt_SmtpAuthPasswd", "Txt_ZipPasswd"})
        QCOMPARE(f.control<QLineEdit>(masked)->echoMode(), QLineEdit::Password);
    QCOMPARE(f.control<QLineEdit>("Txt_SmtpSrv")->echoMode(), QLineEdit::Normal);
    QVERIFY(!f.updateEnabled());
    QVERIFY(f.h.messages.messages.empty());
}

void FormParamTest::enablingRules_data()
{
    QTest::addColumn<QStringList>("ticked");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("password") << QStringList{"Conf_Passwd"} << QStringList{"Txt_Passwd"};
    QTest::newRow("everything without mail")
        << QStringList{"Conf_SmtpAuth", "Conf_MailAdd", "Conf_zip", "Conf_PopBeforeSMTP"} << QStringList{};
    QTest::newRow("mail") << QStringList{"Conf_Mail"} << kMailBasics;
    QTest::newRow("mail, auth") << QStringList{"Conf_Mail", "Conf_SmtpAuth"}
                                << kMailBasics +
                                       QStringList{"Chk_SmtpAuthMD5", "Txt_SmtpAuthUser", "Txt_SmtpAuthPasswd"};
    QTest::newRow("mail, attach") << QStringList{"Conf_Mail", "Conf_MailAdd"}
                                  << kMailBasics + QStringList{"Chk_Zip", "Txt_MAXSize"};
    QTest::newRow("mail, attach, zip") << QStringList{"Conf_Mail", "Conf_MailAdd", "Conf_zip"}
                                       << kMailBasics + QStringList{"Chk_Zip", "Txt_ZipPasswd", "Txt_MAXSize"};
    QTest::newRow("mail, zip without attach") << QStringList{"Conf_Mail", "Conf_zip"} << kMailBasics;
}

void FormParamTest::enablingRules()
{
    QFETCH(QStringList, ticked);
    QFETCH(QStringList, expected);
    expected.sort();
    const auto enabled = [](const ParamFixture& f) {
        QStringList names = f.enabled();
        names.sort();
        return names;
    };
    BasicSettings settings;
    for (const QString& key : ticked)
        SetBasicSetting(settings, *FindBasicSetting(key.toStdString()), "1");
    ParamFixture stored(settings);
    QCOMPARE(enabled(stored), expected);
    // Ticked by hand in turn, the same controls are enabled at once.
    ParamFixture typed;
    for (const QString& key : ticked)
        typed.click(key == "Conf_zip" ? QStringLiteral("Chk_Zip") : "Chk_" + key.mid(5));
    QCOMPARE(enabled(typed), expected);
    QCOMPARE(typed.updateEnabled(), !expected.isEmpty());
    // Unticking the lock and mail disables their dependents at once and
    // keeps the dependents' settings.
    const QStringList tops{"Conf_Passwd", "Conf_Mail"};
    for (const QString& top : tops) {
        if (ticked.contains(top))
            stored.click("Chk_" + top.mid(5));
    }
    QCOMPARE(enabled(stored), QStringList());
    for (const QString& key : ticked) {
        if (!tops.contains(key))
            QCOMPARE(BasicSettingText(stored.h.data.settings, *FindBasicSetting(key.toStdString())), std::string("1"));
    }
}

void FormParamTest::numericBoxesRefuseWhatIsNotANumber()
{
    ParamFixture f;
    auto* interval = f.control<QLineEdit>("Txt_Interval");
    QTest::keyClicks(interval, "5");
    QCOMPARE(f.h.data.settings.Conf_Interval, std::string("5"));
    QTest::keyClicks(interval, "x");
    QCOMPARE(f.h.messages.messages, std::vector<std::string>{"ｲﾝﾀｰﾊﾞﾙは数値を指定します。"});
    QCOMPARE(interval->text(), QStringLiteral("5x"));
    QCOMPARE(f.h.data.settings.Conf_Interval, std::string("5"));
    // Deleting back to nothing: the field keeps its last number.
    QTest::keyClick(interval, Qt::Key_Backspace);
    QTest::keyClick(interval, Qt::Key_Backspace);
    QCOMPARE(f.h.messages.messages.size(), size_t(2));
    QCOMPARE(f.h.data.settings.Conf_Interval, std::string("5"));
    for (const char* number : {"-5", "2.5"}) {
        interval->clear();
        QTest::keyClicks(interval, number);
        QCOMPARE(f.h.data.settings.Conf_Interval, std::string(number));
    }
    f.h.messages.messages.clear();
    f.click("Chk_Mail");
    f.click("Chk_MailAdd");
    QTest::keyClicks(f.control("Txt_MAXSize"), "1M");
    QCOMPARE(f.h.messages.messages, std::vector<std::string>{"MAXｻｲｽﾞは数値を指定します。"});
    QCOMPARE(f.h.data.settings.Conf_MaxSize, std::string("1"));

    // The settle time takes numbers only too.
    f.h.messages.messages.clear();
    auto* settle = f.control<QLineEdit>("Txt_Settle");
    settle->selectAll();
    QTest::keyClicks(settle, "10s");
    QCOMPARE(f.h.messages.messages, std::vector<std::string>{"書込み完了待ちは数値を指定します。"});
    QCOMPARE(f.h.data.settings.Conf_Settle, std::string("10"));

    // A stored non-number is reported on opening.
    BasicSettings stored;
    stored.Conf_Interval = "ten";
    ParamFixture g(stored);
    QCOMPARE(g.h.messages.messages, std::vector<std::string>{"ｲﾝﾀｰﾊﾞﾙは数値を指定します。"});
    QCOMPARE(g.control<QLineEdit>("Txt_Interval")->text(), QStringLiteral("ten"));
    QVERIFY(!g.updateEnabled());
}

void FormParamTest::textShiftJisCannotHoldIsRefusedTypedOrPasted()
{
    ParamFixture f;
    f.click("Chk_Passwd");
    f.click("Chk_Mail");
    auto* password = f.control<QLineEdit>("Txt_Passwd");
    QTest::keyClicks(password, "pass");
    // Typed: each refused key leaves box and setting as they were, and the
    // burst is told once, without showing a password's character.
    TypeText(password, QStringLiteral("éü"));
    QCOMPARE(password->text(), QStringLiteral("pass"));
    QCOMPARE(f.h.data.settings.Conf_PasswdTxt, std::string("pass"));
    QVERIFY(f.h.messages.messages.empty()); // told once the box is itself again
    QCoreApplication::processEvents();
    QCOMPARE(f.h.messages.messages, std::vector<std::string>{"ﾛｯｸのﾊﾟｽﾜｰﾄﾞに Shift-JIS で表せない文字は使えません。"});
    QTest::keyClicks(password, "1");
    QCOMPARE(f.h.data.settings.Conf_PasswdTxt, std::string("pass1"));

    // Pasted over a selection: the selection and the text stay.
    auto* server = f.control<QLineEdit>("Txt_SmtpSrv");
    QTest::keyClicks(server, "smtp.example.jp");
    server->setSelection(0, 4);
    QGuiApplication::clipboard()->setText(QStringLiteral("mail.café"));
    QTest::keyClick(server, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(server->text(), QStringLiteral("smtp.example.jp"));
    QCOMPARE(server->selectedText(), QStringLiteral("smtp"));
    QCOMPARE(f.h.data.settings.Conf_SmtpSrv, std::string("smtp.example.jp"));
    QCoreApplication::processEvents();
    QCOMPARE(f.h.lastMessage(), QStringLiteral("SMTPｻｰﾊﾞに Shift-JIS で表せない文字「é」(U+00E9)は使えません。"));

    // A kana with a separate voiced mark is taken in its composed form; the
    // wave dash of Linux input is not the one code page 932 has, and is
    // refused rather than silently changed.
    auto* name = f.control<QLineEdit>("Txt_SmtpName");
    QGuiApplication::clipboard()->setText(QStringLiteral("か\u3099ぎ\u301C"));
    QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(name->text(), QString());
    QCoreApplication::processEvents();
    QCOMPARE(f.h.lastMessage(), QStringLiteral("名前に Shift-JIS で表せない文字「\u301C」(U+301C)は使えません。"));
    QGuiApplication::clipboard()->setText(QStringLiteral("か\u3099ぎ"));
    QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(name->text(), QStringLiteral("がぎ"));
    QCOMPARE(f.h.data.settings.Conf_SmtpName, std::string("がぎ"));
    QCOMPARE(f.h.messages.messages.size(), size_t(3));
}

void FormParamTest::updateSavesAndSaysSo()
{
    ParamFixture f;
    f.click("Chk_Mail");
    QTest::keyClicks(f.control("Txt_SmtpSrv"), "smtp.example.jp");
    QVERIFY(!QFile::exists(QString::fromStdString(f.h.folder.file("sysconfig.dat")))); // only Update writes
    f.click("Command2");
    QCOMPARE(f.h.lastMessage(), QStringLiteral("更新しました。\r\n次回自動時より反映されます。"));
    QVERIFY(!f.updateEnabled());
    BasicSettings saved;
    QVERIFY(LoadBasicSettings(saved, f.h.folder.path()));
    QCOMPARE(saved, f.h.data.settings);
    QCOMPARE(saved.Conf_SmtpSrv, std::string("smtp.example.jp"));
    QCOMPARE(f.saves, 1);
    // Passwords asked into the keyring stay in the file where none answers,
    // and the save says where they went.
    qputenv("TESSALY_KEYRING", "0");
    f.click("Chk_KeyringPasswd");
    QTest::keyClicks(f.control("Txt_PopPasswd"), "secret");
    f.click("Command2");
    qunsetenv("TESSALY_KEYRING");
    QVERIFY2(f.h.lastMessage().endsWith(QStringLiteral(" に保存しました (TESSALY_KEYRING=0 のため)。")),
             qPrintable(f.h.lastMessage()));
    QVERIFY(LoadBasicSettings(saved, f.h.folder.path()));
    QCOMPARE(saved.Conf_KeyringPasswd, int16_t(1));
    QCOMPARE(saved.Conf_PopPasswd, std::string("secret"));
    // A failed save is reported with its cause and leaves Update on.
    f.click("Chk_Balloon");
    QCOMPARE(::unlink(f.h.folder.file("sysconfig.dat").c_str()), 0);
    QCOMPARE(::mkdir(f.h.folder.file("sysconfig.dat").c_str(), 0700), 0);
    f.click("Command2");
    QVERIFY(f.h.lastMessage().startsWith(QStringLiteral("基本設定ﾌｧｲﾙの書き込みに失敗しました。\r\n")));
    QVERIFY(f.h.lastMessage().size() > QStringLiteral("基本設定ﾌｧｲﾙの書き込みに失敗しました。\r\n").size());
    QVERIFY(f.updateEnabled());
    QCOMPARE(f.saves, 2);
}

void FormParamTest::updateRefusesValuesThatCannotWork_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("message");
    const QString interval = QStringLiteral("購読ｲﾝﾀｰﾊﾞﾙは1から44640までの整数(分)で指定してください。");
    const QString port = QStringLiteral("ﾎﾟｰﾄは1から65535までの整数で指定するか、空欄にしてください。");
    const std::vector<std::array<QString, 3>> rows = {
        {"Txt_Interval", "0", interval},
        {"Txt_Interval", "", QStringLiteral("ｲﾝﾀｰﾊﾞﾙは数値を指定します。")}, // the field kept its number
        {"Txt_Interval", QStringLiteral("１０"), QStringLiteral("購読ｲﾝﾀｰﾊﾞﾙは半角数字で指定してください。")},
        {"Txt_MAXSize", "10MB", QStringLiteral("MAXｻｲｽﾞは0以上の数値(MB)で指定してください。")},
        {"Txt_SmtpPort", "70000", QStringLiteral("SMTPｻｰﾊﾞの") + port},
        {"Txt_PopPort", "pop", QStringLiteral("POPｻｰﾊﾞの") + port},
        {"Txt_Settle", "5000", QStringLiteral("書込み完了待ちは0から60までの整数(秒)で指定してください。")},
    };
    for (const auto& [box, shown, message] : rows)
        QTest::addRow("%s %s", qPrintable(box), qPrintable(shown)) << box << shown << message;
}

void FormParamTest::updateRefusesValuesThatCannotWork()
{
    QFETCH(QString, box);
    QFETCH(QString, shown);
    QFETCH(QString, message);
    BasicSettings settings;
    settings.Conf_Mail = 1;
    settings.Conf_MailAdd = 1;
    settings.Conf_MaxSize = "10";
    settings.Conf_Interval = "10";
    ParamFixture f(settings);
    f.click("Chk_Balloon"); // an edit that can be saved, besides the box
    f.control<QLineEdit>(box)->setText(shown);
    f.click("Command2");
    QCOMPARE(f.h.lastMessage(), message);
    QVERIFY(f.updateEnabled());
    QCOMPARE(f.saves, 0);
    QVERIFY(!QFile::exists(QString::fromStdString(f.h.folder.file("sysconfig.dat"))));
    // Once the box shows a value that can work, the save goes through.
    f.control<QLineEdit>(box)->setText(box == "Txt_Settle" ? "60" : "25");
    f.click("Command2");
    QCOMPARE(f.h.lastMessage(), QStringLiteral("更新しました。\r\n次回自動時より反映されます。"));
    QCOMPARE(f.saves, 1);
}

void FormParamTest::enterSavesAndEscapeCloses()
{
    ParamFixture f;
    // Without an edit there is nothing to save.
    QTest::keyClick(f.control("Txt_Interval"), Qt::Key_Return);
    QVERIFY(f.h.messages.messages.empty());
    QTest::keyClicks(f.control("Txt_Interval"), "15");
    QTest::keyClick(f.control("Txt_Interval"), Qt::Key_Return);
    QCOMPARE(f.h.lastMessage(), QStringLiteral("更新しました。\r\n次回自動時より反映されます。"));
    QCOMPARE(f.saves, 1);
    QCOMPARE(f.h.data.settings.Conf_Interval, std::string("15"));
    // The keypad's Enter and Enter on a check box save too.
    f.click("Chk_Balloon");
    QTest::keyClick(f.control("Chk_Balloon"), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(f.saves, 2);
    QVERIFY(!f.updateEnabled());
    QTest::keyClick(f.control("Chk_Balloon"), Qt::Key_Escape);
    QVERIFY(!f.form->isVisible());

    // Inside the main window's area Escape closes the child's frame.
    QMdiArea area;
    QMdiSubWindow* child = area.addSubWindow(new FormParam(f.h.context));
    area.show();
    child->show();
    QVERIFY(child->isVisible());
    QTest::keyClick(child->widget()->findChild<QLineEdit*>("Txt_SmtpSrv"), Qt::Key_Escape);
    QVERIFY(!child->isVisible());
    QCOMPARE(f.saves, 2);
}

void FormParamTest::loginStartBoxSetsTheAutostartEntryOnUpdate()
{
    TempFolder config;
    qputenv("XDG_CONFIG_HOME", config.path().c_str());
    struct Unset {
        ~Unset() { qunsetenv("XDG_CONFIG_HOME"); }
    } unset;
    const std::string entry = config.file("autostart/tessaly.desktop");
    const QString saved = QStringLiteral("更新しました。\r\n次回自動時より反映されます。");
    {
        ParamFixture f;
        QVERIFY(!f.control<QCheckBox>("Chk_Autostart")->isChecked());
        f.click("Chk_Autostart");
        QVERIFY(f.updateEnabled());
        QVERIFY(!PathExists(entry)); // only 更新 writes it
        f.click("Command2");
        QCOMPARE(f.h.lastMessage(), saved);
        QVERIFY(PathExists(entry));
    }
    ParamFixture f;
    QVERIFY(f.control<QCheckBox>("Chk_Autostart")->isChecked());
    f.click("Chk_Autostart");
    f.click("Command2");
    QCOMPARE(f.h.lastMessage(), saved);
    QVERIFY(!PathExists(entry));
    // An entry that cannot be written is told, and Update stays on.
    QCOMPARE(::rmdir(config.file("autostart").c_str()), 0);
    WriteFile(config.file("autostart"), "a file in the folder's place");
    f.click("Chk_Autostart");
    f.click("Command2");
    QVERIFY(f.h.lastMessage().startsWith(QStringLiteral("ログイン時の起動を設定できませんでした。\r\n")));
    QVERIFY(f.updateEnabled());
    QCOMPARE(f.saves, 2); // the settings themselves were saved both times
}

void FormParamTest::signInKindShowsItsBoxesAndSavesThem_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("password") << 0 << QStringList{};
    QTest::newRow("Microsoft 365") << 1 << QStringList{"Txt_OAuthClient", "Txt_OAuthTenant"};
    QTest::newRow("Google") << 2 << QStringList{"Chk_OAuthBearer", "Txt_OAuthClient", "Txt_OAuthSecret"};
    QTest::newRow("other") << 3 << QStringList{"Chk_OAuthBearer",    "Txt_OAuthAuthUrl", "Txt_OAuthClient",
                                               "Txt_OAuthDeviceUrl", "Txt_OAuthScope",   "Txt_OAuthSecret",
                                               "Txt_OAuthTokenUrl"};
}

void FormParamTest::signInKindShowsItsBoxesAndSavesThem()
{
    QFETCH(int, kind);
    QFETCH(QStringList, shown);
    BasicSettings settings;
    settings.Conf_Mail = 1;
    settings.Conf_SmtpAuth = 1;
    ParamFixture f(settings);
    // A sign-in of no client id yet: shown until a client id is typed.
    std::string error;
    QVERIFY(SaveStoredTokens(f.h.folder.path(), {"", "someone@example.jp", "refresh", "", 0, ""}, 5, &error));
    // OAUTHBEARER, ticked for Google, goes with a change to Microsoft 365.
    f.control<QComboBox>("Cmb_MailAuth")->setCurrentIndex(2);
    f.click("Chk_OAuthBearer");
    f.control<QComboBox>("Cmb_MailAuth")->setCurrentIndex(kind);
    QCOMPARE(f.h.data.settings.Conf_MailAuth, kind);
    QCOMPARE(f.control<QCheckBox>("Chk_OAuthBearer")->isChecked(), kind != 1);
    QStringList visible;
    for (QWidget* control : f.form->findChildren<QWidget*>()) {
        const QString name = control->objectName();
        if ((name.startsWith("Txt_OAuth") || name.startsWith("Chk_OAuth")) && control->isVisible())
            visible << name;
    }
    visible.sort();
    QCOMPARE(visible, shown);
    // The password is for password sign-in only, the sign-in for OAuth.
    QCOMPARE(f.control("Txt_SmtpAuthPasswd")->isEnabled(), kind == 0);
    QCOMPARE(f.control("Chk_SmtpAuthMD5")->isEnabled(), kind == 0);
    QCOMPARE(f.control("Cmd_SignIn")->isVisible(), kind != 0);
    auto* account = f.control<QLabel>("Lbl_OAuthAccount");
    if (kind != 0)
        QCOMPARE(account->text(), QStringLiteral("サインイン中: someone@example.jp"));
    for (const QString& name : shown) {
        if (name.startsWith("Txt_"))
            f.control<QLineEdit>(name)->setText(name.endsWith("Url") ? "https://id.example.com/" + name : name);
    }
    if (kind == 3) {
        // An address that cannot work holds the save up.
        f.control<QLineEdit>("Txt_OAuthTokenUrl")->setText("http://id.example.com/token");
        f.click("Command2");
        QCOMPARE(f.h.lastMessage(), QStringLiteral("ﾄｰｸﾝのｱﾄﾞﾚｽはhttps:// で始まるアドレスで指定してください。"));
        QCOMPARE(f.saves, 0);
        f.control<QLineEdit>("Txt_OAuthTokenUrl")->setText("https://id.example.com/Txt_OAuthTokenUrl");
    }
    if (kind != 0)
        QCOMPARE(account->text(), QStringLiteral("サインインしていません"));
    f.click("Chk_Balloon"); // an edit to save for every kind
    f.click("Command2");
    QCOMPARE(f.h.lastMessage(), QStringLiteral("更新しました。\r\n次回自動時より反映されます。"));
    BasicSettings saved;
    QVERIFY(LoadBasicSettings(saved, f.h.folder.path()));
    QCOMPARE(saved.Conf_MailAuth, kind);
    QCOMPARE(saved.Conf_OAuthBearer, int16_t(kind != 1));
    for (const QString& name : shown) {
        if (!name.startsWith("Txt_"))
            continue;
        const BasicSettingField* field = FindBasicSetting("Conf_" + name.mid(4).toStdString());
        QVERIFY2(field, qPrintable(name));
        QCOMPARE(QString::fromStdString(saved.*field->text), f.control<QLineEdit>(name)->text());
    }
}

QTEST_MAIN(FormParamTest)
#include "FormParamTest.moc"
