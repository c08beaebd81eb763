// SPDX-License-Identifier: MIT
#include "windows/frmAbout.h"

#include "common/UserMessages.h"
#include "resident/ProgramVersion.h"
#include "resident/QtText.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace tessaly {
namespace {

QFrame* Separator(QWidget* parent, int index)
{
    auto* line = new QFrame(parent);
    line->setObjectName(QStringLiteral("Line1_%1").arg(index));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel* NamedLabel(const char* name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

frmAbout::frmAbout(UserMessages& messages, std::function<bool()> startSysInfo, QWidget* parent)
    : QWidget(parent), m_messages(messages), m_startSysInfo(std::move(startSysInfo))
{
    const QString title = Utf8Text(kProgramTitle);
    const ProgramVersion version = CurrentVersion();
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(title + QStringLiteral("のﾊﾞｰｼﾞｮﾝ情報"));

    auto* icon = NamedLabel("picIcon", {}, this);
    icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    icon->setFixedSize(40, 40);
    auto* lblTitle = NamedLabel("lblTitle", title, this);
    QFont big = lblTitle->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    lblTitle->setFont(big);
    auto* lblVersion = NamedLabel(
        "lblVersion", QStringLiteral("ﾊﾞｰｼﾞｮﾝ %1.%2.%3").arg(version.major).arg(version.minor).arg(version.revision),
        this);
    auto* lblDescription = NamedLabel("lblDescription", MakerAddress(), this);
    lblDescription->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblDescription->setVisible(!MakerAddress().isEmpty());
    auto* lblDisclaimer = NamedLabel("lblDisclaimer", QString(), this);
    lblDisclaimer->setWordWrap(true);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &frmAbout::closeBox);
    auto* sysInfoButton = new QPushButton(QStringLiteral("ｼｽﾃﾑ情報(&S)..."), this);
    sysInfoButton->setObjectName(QStringLiteral("cmdSysInfo"));
    connect(sysInfoButton, &QPushButton::clicked, this, &frmAbout::sysInfo);

    auto* head = new QGridLayout;
    head->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    head->addWidget(lblTitle, 0, 1);
    head->addWidget(lblVersion, 1, 1);
    head->setColumnStretch(1, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(sysInfoButton);
    auto* foot = new QHBoxLayout;
    foot->addWidget(lblDisclaimer, 1);
    foot->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(Separator(this, 0));
    layout->addWidget(lblDescription);
    layout->addStretch(1);
    layout->addWidget(Separator(this, 1));
    layout->addLayout(foot);
    resize(sizeHint());
    ok->setFocus();
}

frmAbout::~frmAbout() = default;

QSize frmAbout::sizeHint() const
{
    QSize hint = QWidget::sizeHint();
    // Title bars draw the caption in bold beside an icon and three buttons,
    // each about a title bar high.
    QFont captionFont = font();
    captionFont.setBold(true);
    const int titleBar = std::max(style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this), 18);
    const int caption = QFontMetrics(captionFont).horizontalAdvance(windowTitle()) + 4 * titleBar + 24;
    hint.setWidth(std::max({hint.width(), caption, 380}));
    hint.setHeight(std::max(hint.height(), 230));
    return hint;
}

const QString& frmAbout::MakerAddress()
{
    // The project has no web site of its own yet: the box shows none rather
    // than an address that leads nowhere.
    static const QString address;
    return address;
}

void frmAbout::sysInfo()
{
    if (!m_startSysInfo || !m_startSysInfo())
        m_messages.ShowMessage("現時点ではｼｽﾃﾑ情報を使用できません");
}

void frmAbout::closeBox()
{
    // Inside the main window the box lives in a sub-window, which must go too.
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        frame->close();
    else
        close();
}

} // namespace tessaly
