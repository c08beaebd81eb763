// SPDX-License-Identifier: MIT
#include "resident/FormStart.h"

#include "common/FileSystem.h"
#include "common/UserMessages.h"
#include "resident/CheckRunner.h"
#include "resident/FormMain.h"
#include "resident/InputBox.h"
#include "resident/ProgramVersion.h"
#include "resident/QtText.h"
#include "resident/ResidentData.h"
#include "resident/ResidentOptions.h"
#include "resident/ShippedIcon.h"

#include <QCursor>
#include <QMenu>
#include <QPainter>

#include <algorithm>
#include <iostream>

namespace tessaly {

namespace {

/// Raises a flag for the life of the object: one question at a time.
class AskingGuard final {
public:
    explicit AskingGuard(bool& flag) : m_flag(flag), m_free(!flag) { m_flag = true; }
    ~AskingGuard()
    {
        if (m_free)
            m_flag = false;
    }
    /// False when another question was already open.
    bool free() const { return m_free; }

private:
    bool& m_flag;
    bool m_free;
};

/// True when some row of the table is in use.
bool AnySubscription(const SubscriptionTable& table)
{
    return std::any_of(table.begin(), table.end(), [](const Subscription& row) { return row.inUse(); });
}

/// The tray icon with the mark of a check in progress: a dot in its lower
/// right corner.
QImage CheckingIcon(const QImage& icon)
{
    QImage image = icon.convertToFormat(QImage::Format_ARGB32);
    const qreal side = image.width() * 0.45;
    const QRectF dot(image.width() - side - 1, image.height() - side - 1, side, side);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, std::max<qreal>(1, side / 8)));
    painter.setBrush(QColor(0x1e, 0x6f, 0xd9));
    painter.drawEllipse(dot);
    painter.end();
    return image;
}

} // namespace

FormStart::FormStart(const Parts& parts, std::chrono::milliseconds minute, QObject* parent)
    : QObject(parent), m_parts(parts),
      m_checks(
          parts.data, parts.messages, parts.checkRunner, minute, [this] { return watching(); },
          [this](const std::string& summary) { setToolTipDetail(Utf8Text(summary)); }),
      m_menu0(std::make_unique<QMenu>())
{
    m_menu0->setObjectName(QStringLiteral("menu0"));
    m_menuCheck = m_menu0->addAction(QStringLiteral("購読"));
    m_menuCheck->setObjectName(QStringLiteral("MenuCheck"));
    m_menuCheck->setCheckable(true);
    m_menu0->addSeparator()->setObjectName(QStringLiteral("Dummy1"));
    m_menuOpen = m_menu0->addAction(QStringLiteral("開く"));
    m_menuOpen->setObjectName(QStringLiteral("MenuOpen"));
    m_menuEnd = m_menu0->addAction(QStringLiteral("終了する"));
    m_menuEnd->setObjectName(QStringLiteral("MenuEnd"));
    connect(m_menuCheck, &QAction::triggered, this, &FormStart::menuCheckClick);
    connect(m_menuOpen, &QAction::triggered, this, &FormStart::openMainWindow);
    connect(m_menuEnd, &QAction::triggered, this, &FormStart::menuEndClick);
    connect(&parts.checkRunner, &CheckRunner::runningChanged, this, &FormStart::setChecking);
    connect(&parts.control, &lumitray::TrayIcon::mouseDown, this, &FormStart::mouseDown);
    connect(&parts.control, &lumitray::TrayIcon::doubleClicked, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton)
            openMainWindow();
    });
    connect(&parts.control, &lumitray::TrayIcon::balloonClicked, this, &FormStart::balloonClick);
}

FormStart::~FormStart()
{
    delete m_main.data();
}

bool FormStart::load()
{
    LoadResidentSettings(m_parts.data, std::cerr);
    if (!setUpControl()) {
        m_parts.messages.ShowMessage(kStartupFailureMessage);
        return false;
    }
    m_menuCheck->setChecked(true);
    setLumitrayToolTip();
    LoadResidentSubscriptions(m_parts.data, m_parts.messages);
    m_checks.resetCount();
    applySubscriptions();
    // A new user is shown where to begin: the subscription editor.
    if (m_noSubscription && !IsOn(m_parts.data.settings.Conf_Passwd))
        showMainWindow()->showChild(ChildWindow::FormConfig);
    return true;
}

bool FormStart::setUpControl()
{
    lumitray::TrayIcon& control = m_parts.control;
    control.setBalloonSound(true);
    control.setAutoRefresh(true);
    control.setBalloon(IsOn(m_parts.data.settings.Conf_Balloon));
    // Read through the regular-file check: a FIFO or a link under the
    // icon's name is refused, never read.
    const std::string path = JoinPath(m_parts.data.folder, kIconFileName);
    std::string bytes;
    std::string cause;
    if (ReadWholeFile(path, &bytes, &cause, kIconFileLimit)) {
        const QByteArray data = QByteArray::fromStdString(bytes);
        m_icon = lumitray::TrayIcon::iconFromData(data);
        if (m_icon.isNull())
            cause = bytes.empty()                     ? "the file is empty"
                    : QImage::fromData(data).isNull() ? "not a picture"
                                                      : "not an icon";
    }
    if (m_icon.isNull()) {
        std::cerr << "tessaly: " << path << ": " << cause << std::endl;
        return false;
    }
    m_checkingIcon = CheckingIcon(m_icon);
    control.setIcon(m_icon);
    // Hosts that draw the icon's menu themselves read it when the icon appears.
    control.setMenu(m_menu0.get());
    control.show();
    return true;
}

void FormStart::applySettings()
{
    m_parts.control.setBalloon(IsOn(m_parts.data.settings.Conf_Balloon));
    m_checks.apply();
}

void FormStart::applySubscriptions()
{
    m_noSubscription = !AnySubscription(m_parts.data.subscriptions);
    setLumitrayToolTip();
    m_checks.apply();
}

FormMain* FormStart::mainWindow() const
{
    return m_main.data();
}

bool FormStart::watching() const
{
    return m_menuCheck->isChecked();
}

void FormStart::setLumitrayToolTip()
{
    QString text = Utf8Text(TrayToolTip(watching(), m_checking));
    if (m_noSubscription)
        text += QStringLiteral("\n購読が登録されていません");
    else if (watching() && !m_toolTipDetail.isEmpty())
        text += QLatin1Char('\n') + m_toolTipDetail;
    if (m_waitingMails > 0)
        text += QStringLiteral("\n送信待ちのﾒｰﾙ: %1件").arg(m_waitingMails);
    // Every assignment goes to the desktop: only a new text is assigned.
    if (text != m_toolTip) {
        m_toolTip = text;
        m_parts.control.setToolTipText(text);
    }
}

void FormStart::setToolTipDetail(const QString& detail)
{
    m_toolTipDetail = detail;
    setLumitrayToolTip();
}

void FormStart::setChecking(bool checking)
{
    m_checking = checking;
    setLumitrayToolTip();
    putIcon();
}

void FormStart::setWaitingMails(size_t count)
{
    m_waitingMails = count;
    setLumitrayToolTip();
}

void FormStart::putIcon()
{
    if (!m_icon.isNull())
        m_parts.control.setIcon(m_checking ? m_checkingIcon : m_icon);
}

void FormStart::mouseDown(Qt::MouseButton button)
{
    // Hosts that draw the menu offered to them never report the right
    // click, so the menu is never shown twice.
    if (button == Qt::RightButton)
        m_menu0->popup(QCursor::pos());
}

void FormStart::balloonClick()
{
    AskingGuard guard(m_askingOpen);
    if (!guard.free() || !m_parts.messages.AskYesNo("履歴を確認しますか?"))
        return;
    // The history list opens inside the main window; a password lock that
    // guards the window guards the list too.
    if (!m_main && !passwordAccepted())
        return;
    showMainWindow()->showChild(ChildWindow::FormList);
}

void FormStart::menuCheckClick()
{
    // The action has already switched its check mark.
    setLumitrayToolTip();
    m_checks.apply();
    m_parts.control.setBalloonText(QString());
}

void FormStart::openMainWindow()
{
    AskingGuard guard(m_askingOpen);
    if (guard.free() && passwordAccepted())
        showMainWindow();
}

void FormStart::menuEndClick()
{
    AskingGuard guard(m_askingEnd);
    if (guard.free() && m_parts.messages.AskYesNo(std::string(kProgramTitle) + "を終了しますか?") && m_endProgram)
        m_endProgram();
}

bool FormStart::passwordAccepted()
{
    const BasicSettings& settings = m_parts.data.settings;
    if (!IsOn(settings.Conf_Passwd))
        return true;
    const std::optional<QString> answer = m_parts.input.ask(QStringLiteral("ﾊﾟｽﾜｰﾄﾞ?"), Utf8Text(kProgramTitle));
    // キャンセル gives up quietly.
    if (!answer)
        return false;
    if (*answer == Utf8Text(settings.Conf_PasswdTxt))
        return true;
    m_parts.messages.ShowMessage("ﾊﾟｽﾜｰﾄﾞが間違っています");
    return false;
}

FormMain* FormStart::showMainWindow()
{
    if (!m_main)
        m_main = new FormMain(m_parts.windows, m_parts.clock, [this] {
            if (m_endProgram)
                m_endProgram();
        });
    m_main->bringToFront();
    TestTrace("main window shown");
    return m_main;
}

void FormStart::setFeedTexts(const QString& text1, const QString& text2)
{
    if (text1 == m_text1 && text2 == m_text2)
        return;
    m_text1 = text1;
    m_text2 = text2;
    m_parts.control.setBalloonText(m_text1);
    m_parts.control.setBalloonTitle(m_text2);
}

} // namespace tessaly
