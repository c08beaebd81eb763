// SPDX-License-Identifier: MIT
#include "windows/FormParam.h"

#include "common/Autostart.h"
#include "common/Cp932.h"
#include "common/DataFolderLock.h"
#include "common/UserMessages.h"
#include "settings/BasicSettings.h"
#include "settings/CheckedSettings.h"
#include "windows/CheckWait.h"
#include "windows/FormWindowFactory.h"
#include "windows/MailSignInPanel.h"
#include "windows/ShiftJisInput.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessaly {
namespace {

// Password boxes show "*" for every character, whatever the style's own.
const QString kStarMask = QStringLiteral("QLineEdit { lineedit-password-character: 42; }");
constexpr int kShortBox = 60;

QLabel* Label(const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

} // namespace

FormParam::FormParam(const WindowContext& context, QWidget* parent)
    : QWidget(parent), m_context(context), m_settings(context.data.settings),
      m_update(new QPushButton(QStringLiteral("更新"), this)), m_autostartPath(AutostartEntryPath())
{
    setObjectName(QStringLiteral("FormParam"));
    setWindowTitle(QStringLiteral("基本設定"));
    m_update->setObjectName(QStringLiteral("Command2"));
    m_update->setAutoDefault(false);
    connect(m_update, &QPushButton::clicked, this, &FormParam::save);
    buildLayout();
    fill();
}

FormParam::~FormParam() = default;

QCheckBox* FormParam::flag(const char* name, const QString& caption, std::int16_t BasicSettings::*field)
{
    auto* box = new QCheckBox(caption, this);
    box->setObjectName(QLatin1String(name));
    const FlagBinding binding{box, field};
    m_flags.push_back(binding);
    connect(box, &QCheckBox::toggled, this, [this, binding](bool on) { flagClicked(binding, on); });
    return box;
}

QLineEdit* FormParam::text(const char* name, const char* caption, std::string BasicSettings::*field, bool masked,
                           const char* notANumber)
{
    auto* box = new QLineEdit(this);
    box->setObjectName(QLatin1String(name));
    // Screen readers name the box as messages do; some boxes (the lock's
    // password, the ports) have no label of their own.
    box->setAccessibleName(QString::fromUtf8(caption));
    if (masked) {
        box->setEchoMode(QLineEdit::Password);
        box->setStyleSheet(kStarMask);
    }
    // sysconfig.dat is code page 932: a character it lacks would come back as "?".
    GuardShiftJisInput(box, {QString::fromUtf8(caption), masked}, m_context.messages);
    if (notANumber)
        box->setFixedWidth(kShortBox);
    const TextBinding binding{box, field, caption, notANumber};
    m_texts.push_back(binding);
    connect(box, &QLineEdit::textChanged, this, [this, binding](const QString& typed) { textChanged(binding, typed); });
    return box;
}

void FormParam::buildLayout()
{
    // Controls are made in the order they stand, left to right and top to
    // bottom, which is the order Tab goes through them; the spacing is kept
    // tight so that the whole dialog fits a small screen.
    auto* top = new QGridLayout;
    top->setVerticalSpacing(2);
    top->addWidget(flag("Chk_Passwd", QStringLiteral("ﾊﾟｽﾜｰﾄﾞﾛｯｸする"), &BasicSettings::Conf_Passwd), 0, 0);
    top->addWidget(text("Txt_Passwd", "ﾛｯｸのﾊﾟｽﾜｰﾄﾞ", &BasicSettings::Conf_PasswdTxt, true), 0, 1);
    top->addWidget(flag("Chk_Balloon", QStringLiteral("ﾊﾞﾙｰﾝで通知する"), &BasicSettings::Conf_Balloon), 1, 0);
    // Not a field of the settings: the user's autostart entry is the state.
    m_autostart = new QCheckBox(QStringLiteral("ログイン時に起動する"), this);
    m_autostart->setObjectName(QStringLiteral("Chk_Autostart"));
    m_autostart->setAccessibleName(m_autostart->text());
    connect(m_autostart, &QCheckBox::toggled, m_update, [this] { m_update->setEnabled(true); });
    top->addWidget(m_autostart, 1, 1);
    top->addWidget(flag("Chk_Mail", QStringLiteral("ﾒｰﾙで通知する"), &BasicSettings::Conf_Mail), 2, 0);
    // The mail's passwords (and the client secret of a sign-in) in the
    // desktop's keyring instead of the settings file.
    top->addWidget(
        flag("Chk_KeyringPasswd", QStringLiteral("ﾊﾟｽﾜｰﾄﾞをｷｰﾘﾝｸﾞに保存する"), &BasicSettings::Conf_KeyringPasswd), 2,
        1);

    auto* mail = new QGroupBox(this);
    mail->setObjectName(QStringLiteral("MailGroup"));
    auto* grid = new QGridLayout(mail);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setVerticalSpacing(3);
    int row = 0;
    const auto line = [&](const QString& caption, QLineEdit* box, QLineEdit* port = nullptr) {
        grid->addWidget(Label(caption, box), row, 0);
        grid->addWidget(box, row, 1, 1, port ? 2 : 3);
        if (port) {
            port->setFixedWidth(kShortBox);
            grid->addWidget(port, row, 3);
        }
        ++row;
    };
    // Each server box is made before its port box.
    QLineEdit* server = text("Txt_SmtpSrv", "SMTPｻｰﾊﾞ", &BasicSettings::Conf_SmtpSrv);
    line(QStringLiteral("SMTPｻｰﾊﾞ"), server, text("Txt_SmtpPort", "SMTPｻｰﾊﾞのﾎﾟｰﾄ", &BasicSettings::Conf_SmtpPort));
    server = text("Txt_PopSrv", "POPｻｰﾊﾞ", &BasicSettings::Conf_PopSrv);
    line(QStringLiteral("POPｻｰﾊﾞ"), server, text("Txt_PopPort", "POPｻｰﾊﾞのﾎﾟｰﾄ", &BasicSettings::Conf_PopPort));
    line(QStringLiteral("POPユーザ"), text("Txt_PopUser", "POPユーザ", &BasicSettings::Conf_PopUser));
    // Where a password may travel in clear, the fields say so.
    const QString inClear = QStringLiteral("ﾊﾟｽﾜｰﾄﾞは暗号化(TLS)して送ります。暗号化を一度も提供したことのない"
                                           "ｻｰﾊﾞ(社内の中継ｻｰﾊﾞなど)にだけ、暗号化せずに送ります。");
    auto* popPassword = text("Txt_PopPasswd", "POPﾊﾟｽﾜｰﾄﾞ", &BasicSettings::Conf_PopPasswd, true);
    popPassword->setToolTip(inClear);
    popPassword->setAccessibleDescription(inClear);
    line(QStringLiteral("POPﾊﾟｽﾜｰﾄﾞ"), popPassword);
    line(QStringLiteral("名前"), text("Txt_SmtpName", "名前", &BasicSettings::Conf_SmtpName));
    line(QStringLiteral("ﾒｰﾙｱﾄﾞﾚｽ"), text("Txt_SmtpAddr", "ﾒｰﾙｱﾄﾞﾚｽ", &BasicSettings::Conf_SmtpAddr));
    grid->addWidget(flag("Chk_PopBeforeSMTP", QStringLiteral("POP Before SMTP"), &BasicSettings::Conf_PopBeforeSMTP),
                    row++, 0, 1, 4);
    grid->addWidget(flag("Chk_SmtpAuth", QStringLiteral("SMTPｻｰﾊﾞは認証が必要"), &BasicSettings::Conf_SmtpAuth), row, 0,
                    1, 2);
    grid->addWidget(flag("Chk_SmtpAuthMD5", QStringLiteral("CRAM-MD5 "), &BasicSettings::Conf_SmtpAuthMD5), row++, 2, 1,
                    2);
    auto* authUser = text("Txt_SmtpAuthUser", "認証のﾕｰｻﾞ", &BasicSettings::Conf_SmtpAuthUser);
    auto* authPassword = text("Txt_SmtpAuthPasswd", "認証のﾊﾟｽﾜｰﾄﾞ", &BasicSettings::Conf_SmtpAuthPasswd, true);
    authPassword->setToolTip(inClear);
    authPassword->setAccessibleDescription(inClear);
    auto* auth = new QHBoxLayout;
    auth->addWidget(Label(QStringLiteral("ﾕｰｻﾞ"), authUser));
    auth->addWidget(authUser, 1);
    auth->addWidget(Label(QStringLiteral("ﾊﾟｽﾜｰﾄﾞ"), authPassword));
    auth->addWidget(authPassword, 1);
    grid->addLayout(auth, row++, 0, 1, 4);
    m_signIn = new MailSignInPanel(m_settings, m_context.data.folder, m_context.messages, mail);
    connect(m_signIn, &MailSignInPanel::edited, this, [this] {
        m_update->setEnabled(true);
        SetPropaty();
    });
    grid->addWidget(m_signIn, row++, 0, 1, 4);
    grid->addWidget(flag("Chk_MailAdd", QStringLiteral("ﾒｰﾙに添付する"), &BasicSettings::Conf_MailAdd), row++, 0, 1, 4);

    auto* zipBox = new QGroupBox(mail);
    auto* zip = new QHBoxLayout(zipBox);
    zip->setContentsMargins(6, 2, 6, 2);
    zip->addWidget(flag("Chk_Zip", QStringLiteral("zip圧縮する"), &BasicSettings::Conf_zip));
    auto* zipPassword = text("Txt_ZipPasswd", "zipのﾊﾟｽﾜｰﾄﾞ", &BasicSettings::Conf_zipPasswd, true);
    zipPassword->setToolTip(QStringLiteral("指定しない場合はﾗﾝﾀﾞﾑとなります"));
    zip->addWidget(Label(QStringLiteral("ﾊﾟｽﾜｰﾄﾞ"), zipPassword));
    zip->addWidget(zipPassword, 1);
    auto* sizeBox = new QGroupBox(mail);
    auto* size = new QHBoxLayout(sizeBox);
    size->setContentsMargins(6, 2, 6, 2);
    auto* maxSize = text("Txt_MAXSize", "MAXｻｲｽﾞ", &BasicSettings::Conf_MaxSize, false, "MAXｻｲｽﾞは数値を指定します。");
    size->addWidget(Label(QStringLiteral("MAXｻｲｽﾞ"), maxSize));
    size->addWidget(maxSize);
    size->addWidget(new QLabel(QStringLiteral("MB")));
    auto* boxes = new QHBoxLayout;
    boxes->addWidget(zipBox, 1);
    boxes->addWidget(sizeBox);
    grid->addLayout(boxes, row++, 0, 1, 4);

    // Live watching: changes are checked as they happen, and a document
    // is announced only once it has been left alone for the settle time.
    auto* instant = flag("Chk_Instant", QStringLiteral("更新をすぐにﾁｪｯｸする"), &BasicSettings::Conf_Instant);
    auto* settle =
        text("Txt_Settle", "書込み完了待ち", &BasicSettings::Conf_Settle, false, "書込み完了待ちは数値を指定します。");
    auto* live = new QHBoxLayout;
    live->addWidget(instant);
    live->addStretch(1);
    live->addWidget(Label(QStringLiteral("書込み完了待ち"), settle));
    live->addWidget(settle);
    live->addWidget(new QLabel(QStringLiteral("秒")));
    auto* interval =
        text("Txt_Interval", "購読ｲﾝﾀｰﾊﾞﾙ", &BasicSettings::Conf_Interval, false, "ｲﾝﾀｰﾊﾞﾙは数値を指定します。");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Label(QStringLiteral("購読ｲﾝﾀｰﾊﾞﾙ"), interval));
    bottom->addWidget(interval);
    bottom->addWidget(new QLabel(QStringLiteral("分")));
    bottom->addStretch(1);
    bottom->addWidget(m_update);
    // The button was made first, with the dialog: it goes last.
    setTabOrder(interval, m_update);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addWidget(mail);
    layout->addLayout(live);
    layout->addLayout(bottom);
    layout->addStretch(1);
}

void FormParam::fill()
{
    // Filling runs the same handlers as a user's edit (a stored interval
    // that is not a number is reported here); then the dialog starts unchanged.
    for (const FlagBinding& binding : std::vector<FlagBinding>(m_flags))
        binding.box->setChecked(IsOn(m_settings.*binding.field));
    for (const TextBinding& binding : std::vector<TextBinding>(m_texts))
        binding.box->setText(QString::fromStdString(m_settings.*binding.field));
    std::string unreadable;
    m_autostartOn = AutostartEnabled(m_autostartPath, &unreadable).value_or(false);
    m_autostart->setChecked(m_autostartOn);
    m_update->setEnabled(false);
    SetPropaty();
}

void FormParam::flagClicked(const FlagBinding& binding, bool on)
{
    m_update->setEnabled(true);
    m_settings.*binding.field = on ? 1 : 0;
    SetPropaty();
}

void FormParam::textChanged(const TextBinding& binding, const QString& typed)
{
    const std::string value = typed.toStdString();
    // The box refuses such text as it is typed; a stored text that already
    // holds it is never written back in its place.
    if (!IsCp932Representable(value))
        return;
    if (binding.notANumber && !IsNumberText(value)) {
        // The field keeps its last number; the box keeps what was typed.
        m_context.messages.ShowMessage(binding.notANumber);
        return;
    }
    m_update->setEnabled(true);
    m_settings.*binding.field = value;
    SetPropaty();
}

QCheckBox* FormParam::control(std::int16_t BasicSettings::*field) const
{
    for (const FlagBinding& binding : m_flags) {
        if (binding.field == field)
            return binding.box;
    }
    Q_ASSERT_X(false, "FormParam::control", "a flag without a box");
    return nullptr;
}

QLineEdit* FormParam::control(std::string BasicSettings::*field) const
{
    for (const TextBinding& binding : m_texts) {
        if (binding.field == field)
            return binding.box;
    }
    Q_ASSERT_X(false, "FormParam::control", "a text without a box");
    return nullptr;
}

bool FormParam::ticked(std::int16_t BasicSettings::*field) const
{
    return control(field)->isChecked();
}

void FormParam::SetPropaty()
{
    using S = BasicSettings;
    const bool mail = ticked(&S::Conf_Mail);
    const bool auth = mail && ticked(&S::Conf_SmtpAuth);
    const bool attach = mail && ticked(&S::Conf_MailAdd);
    const auto enable = [](std::initializer_list<QWidget*> widgets, bool enabled) {
        for (QWidget* widget : widgets)
            widget->setEnabled(enabled);
    };
    enable({control(&S::Conf_PasswdTxt)}, ticked(&S::Conf_Passwd));
    enable({control(&S::Conf_SmtpSrv), control(&S::Conf_SmtpPort), control(&S::Conf_PopSrv), control(&S::Conf_PopPort),
            control(&S::Conf_PopUser), control(&S::Conf_PopPasswd), control(&S::Conf_SmtpName),
            control(&S::Conf_SmtpAddr), control(&S::Conf_PopBeforeSMTP), control(&S::Conf_SmtpAuth),
            control(&S::Conf_MailAdd)},
           mail);
    enable({control(&S::Conf_SmtpAuthUser), m_signIn}, auth);
    enable({control(&S::Conf_SmtpAuthMD5), control(&S::Conf_SmtpAuthPasswd)}, auth && !m_signIn->usesOAuth());
    enable({control(&S::Conf_zip), control(&S::Conf_MaxSize)}, attach);
    enable({control(&S::Conf_zipPasswd)}, attach && ticked(&S::Conf_zip));
}

void FormParam::save()
{
    // A running check holds the data folder: the save waits for it to end.
    WhenNoCheckRuns(m_context.checkRunner, this, {m_update}, [this] { saveNow(); });
}

void FormParam::saveNow()
{
    if (!valuesCanWork())
        return;
    std::string error;
    std::string notice;
    const DataFolderLock lock = DataFolderLock::Acquire(m_context.data.folder, kWindowLockWaitSeconds, &error);
    if (!lock.held() || !SaveBasicSettings(m_settings, m_context.data.folder, &error, &notice)) {
        m_context.messages.ShowMessage("基本設定ﾌｧｲﾙの書き込みに失敗しました。\r\n" + error);
        return;
    }
    // The settings are saved either way; 更新 stays on for another try.
    const bool autostart = m_autostart->isChecked();
    if (autostart != m_autostartOn && !SetAutostart(m_autostartPath, autostart, &error)) {
        m_context.messages.ShowMessage("ログイン時の起動を設定できませんでした。\r\n" + error);
    } else {
        m_autostartOn = autostart;
        m_context.messages.ShowMessage("更新しました。\r\n次回自動時より反映されます。" +
                                       (notice.empty() ? std::string() : "\r\n" + notice));
        m_update->setEnabled(false);
    }
    if (m_context.settingsSaved)
        m_context.settingsSaved();
}

bool FormParam::valuesCanWork()
{
    if (!m_signIn->valuesCanWork())
        return false;
    // What the boxes show is checked, not the fields: a numeric box keeps
    // its field's last number while it shows a text refused as typed. A
    // disabled box (the mail group without mail) never holds a save up.
    for (const TextBinding& binding : m_texts) {
        if (!binding.box->isEnabledTo(this))
            continue;
        const std::string shown = binding.box->text().toStdString();
        std::string message;
        if (std::string reason = SettingValueProblem(BasicSettingKey(binding.field), shown); !reason.empty())
            message = binding.caption + ("は" + reason);
        else if (binding.notANumber && !IsNumberText(shown) && shown != m_settings.*binding.field)
            message = binding.notANumber; // an emptied interval: its field kept the last number
        else
            continue;
        m_context.messages.ShowMessage(message);
        binding.box->setFocus();
        binding.box->selectAll();
        return false;
    }
    return true;
}

void FormParam::keyPressEvent(QKeyEvent* event)
{
    // Enter saves as 更新 does, while there is an edit to save.
    const bool handled = HandleDialogKey(this, event, [this] {
        if (m_update->isEnabled())
            m_update->click();
    });
    if (!handled)
        QWidget::keyPressEvent(event);
}

} // namespace tessaly
