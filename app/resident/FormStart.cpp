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
#include "resident/TrayControl.h"
#include "traycontrol/IconTable.h"
#include "traycontrol/Picture.h"
#include "traycontrol/TypeInfo.h"

#include <QCursor>
#include <QMenu>
#include <QPainter>

#include <algorithm>
#include <iostream>
#include <unistd.h>

namespace tessaly {

namespace DispIds = lumitray::DispIds;
using lumitray::S_OK;
using lumitray::Variant;

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
std::shared_ptr<lumitray::Picture> CheckingIcon(const lumitray::Picture& icon)
{
    QImage image = icon.image().convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return nullptr;
    const qreal side = image.width() * 0.45;
    const QRectF dot(image.width() - side - 1, image.height() - side - 1, side, side);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, std::max<qreal>(1, side / 8)));
    painter.setBrush(QColor(0x1e, 0x6f, 0xd9));
    painter.drawEllipse(dot);
    painter.end();
    const lumitray::ImageHandle handle = lumitray::IconTable::instance().create(lumitray::IconTable::Kind::Icon, image);
    return handle == 0 ? nullptr : std::make_shared<lumitray::Picture>(lumitray::Picture::Icon, handle);
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
    TrayControl& control = m_parts.control;
    const bool balloon = IsOn(m_parts.data.settings.Conf_Balloon);
    if (control.put(DispIds::BalloonSound, Variant::fromBoolean(true)) != S_OK ||
        control.put(DispIds::AutoRefresh, Variant::fromBoolean(true)) != S_OK ||
        control.put(DispIds::Balloon, Variant::fromBoolean(balloon)) != S_OK)
        return false;
    const std::string path = JoinPath(m_parts.data.folder, kIconFileName);
    // The picture is loaded from the descriptor of the file checked here, so
    // that a FIFO or a link under the icon's name is refused, never read.
    std::string cause;
    const int fd = OpenRegularFile(path, &cause);
    if (fd < 0) {
        std::cerr << "tessaly: " << path << ": " << cause << std::endl;
        return false;
    }
    const QString opened = QStringLiteral("/proc/self/fd/%1").arg(fd);
    QString error;
    std::shared_ptr<lumitray::Picture> icon = lumitray::Picture::load(opened, &error);
    ::close(fd);
    error.remove(opened + QStringLiteral(": "));
    if (!icon || icon->type() != lumitray::Picture::Icon) {
        std::cerr << "tessaly: " << path << ": " << (icon ? "not an icon" : error.toStdString()) << std::endl;
        return false;
    }
    m_icon = std::move(icon);
    m_checkingIcon = CheckingIcon(*m_icon);
    if (control.putRef(DispIds::Icon, Variant(m_icon)) != S_OK)
        return false;
    // Hosts that draw the icon's menu themselves read it when the icon appears.
    control.setMenu(m_menu0.get());
    return control.call(DispIds::Show) == S_OK;
}

void FormStart::applySettings()
{
    m_parts.control.put(DispIds::Balloon, Variant::fromBoolean(IsOn(m_parts.data.settings.Conf_Balloon)));
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
        m_parts.control.put(DispIds::ToolTipText, Variant(text));
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
    const std::shared_ptr<lumitray::Picture>& icon = m_checking && m_checkingIcon ? m_checkingIcon : m_icon;
    if (icon)
        m_parts.control.putRef(DispIds::Icon, Variant(icon));
}

void FormStart::controlEvent(lumitray::DispId event, std::int16_t button)
{
    switch (event) {
    case lumitray::EventIds::MouseDown: mouseDown(button); break;
    case lumitray::EventIds::DblClick:
        if (button == 1)
            openMainWindow();
        break;
    case lumitray::EventIds::BalloonClick: balloonClick(); break;
    default: break;
    }
}

void FormStart::mouseDown(std::int16_t button)
{
    // Hosts that draw the menu offered to them never report the right
    // click, so the menu is never shown twice.
    if (button == 2)
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
    m_parts.control.put(DispIds::BalloonText, Variant(QString()));
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
    m_parts.control.put(DispIds::BalloonText, Variant(m_text1));
    m_parts.control.put(DispIds::BalloonTitle, Variant(m_text2));
}

} // namespace tessaly
