// SPDX-License-Identifier: MIT
#include "traycontrol/frmAbout.h"

#include "traycontrol/IconTable.h"
#include "traycontrol/TypeInfo.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

namespace lumitray {
namespace {

std::function<bool(const QUrl&)>& UrlOpener()
{
    static std::function<bool(const QUrl&)> opener;
    return opener;
}

void SetTextColor(QLabel* label, const QColor& color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

QLabel* MakeLabel(const QString& name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QString VersionText()
{
    return QStringLiteral("Ver.%1.%2.%3 ")
        .arg(VersionBlock::Major)
        .arg(VersionBlock::Minor)
        .arg(VersionBlock::Revision);
}

} // namespace

frmAbout::frmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    const QString product = QString::fromUtf8(VersionBlock::ProductName);
    const QImage icon = IconTable::instance().image(LoadIconResource(LibraryInstance(), 101, 32, 32));
    setWindowIcon(QIcon(QPixmap::fromImage(icon)));
    setWindowTitle(product + QStringLiteral(" - バージョン情報"));

    // Two copies of the title a few pixels apart give it a shadow.
    auto* title = new QWidget(this);
    QFont titleFont(
        QStringList{QStringLiteral("ＭＳ 明朝"), QStringLiteral("Noto Serif CJK JP"), QStringLiteral("serif")});
    titleFont.setPointSize(20);
    titleFont.setBold(true);
    QLabel* shadow = MakeLabel(QStringLiteral("lblTitle_0"), product, title);
    QLabel* face = MakeLabel(QStringLiteral("lblTitle_1"), product, title);
    for (QLabel* label : {shadow, face}) {
        label->setFont(titleFont);
        label->adjustSize();
    }
    SetTextColor(shadow, Qt::gray);
    shadow->move(3, 3);
    face->move(0, 0);
    title->setMinimumSize(face->width() + 4, face->height() + 4);

    auto* iconLabel = new QLabel(this);
    iconLabel->setPixmap(QPixmap::fromImage(icon));

    QLabel* version = MakeLabel(QStringLiteral("lblVersion"), VersionText(), this);
    QLabel* comment = MakeLabel(QStringLiteral("lblComment"), QString::fromUtf8(VersionBlock::Comments), this);
    QLabel* copyright =
        MakeLabel(QStringLiteral("lblCopyright"), QString::fromUtf8(VersionBlock::LegalCopyright), this);
    comment->setWordWrap(true);

    auto* shape = new QFrame(this);
    shape->setObjectName(QStringLiteral("Shape1"));
    shape->setFrameShape(QFrame::Box);
    auto* links = new QGridLayout(shape);
    links->addWidget(MakeLabel(QStringLiteral("Label1_0"), QStringLiteral("公開HP"), shape), 0, 0);
    links->addWidget(MakeLabel(QStringLiteral("Label1_1"), QStringLiteral("作者へメール"), shape), 1, 0);
    m_lblURL = MakeLabel(QStringLiteral("lblURL"), QString::fromLatin1(MakerUrl), shape);
    m_lblEmail = MakeLabel(QStringLiteral("lblEmail"), QString::fromLatin1(MakerMail), shape);
    m_lblURL->setToolTip(QStringLiteral("最新版のチェックはこちら。"));
    m_lblEmail->setToolTip(QStringLiteral("ご意見ご感想をお聞かせ下さい。"));
    for (QLabel* link : {m_lblURL, m_lblEmail}) {
        SetTextColor(link, Qt::blue);
        link->setCursor(Qt::PointingHandCursor);
        link->installEventFilter(this);
    }
    links->addWidget(m_lblURL, 0, 1);
    links->addWidget(m_lblEmail, 1, 1);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setToolTip(QStringLiteral("この画面を閉じます。"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* head = new QHBoxLayout;
    head->addWidget(iconLabel, 0, Qt::AlignTop);
    head->addWidget(title);
    head->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(version);
    layout->addWidget(comment);
    layout->addWidget(copyright);
    layout->addWidget(shape);
    layout->addLayout(buttons);
}

void frmAbout::showModal()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s %s\n", VersionBlock::ProductName, VersionText().toUtf8().constData());
        return;
    }
    frmAbout dialog(QApplication::activeWindow());
    dialog.exec();
}

void frmAbout::setUrlOpener(std::function<bool(const QUrl&)> opener)
{
    UrlOpener() = std::move(opener);
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event)
{
    auto* label = qobject_cast<QLabel*>(watched);
    if (label != m_lblURL && label != m_lblEmail)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress) {
        SetTextColor(label, Qt::red);
    } else if (event->type() == QEvent::MouseButtonRelease) {
        SetTextColor(label, Qt::blue);
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint()))
            openLink(label);
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::openLink(QLabel* label)
{
    QUrl url;
    if (label == m_lblURL) {
        url = QUrl(label->text() + QStringLiteral("cgi-bin/access.cgi?soft=") +
                   QString::fromUtf8(VersionBlock::ProductName));
    } else {
        // A bare address means nothing to a URL handler; make it a mail link.
        const QString address = label->text();
        url = QUrl(address.contains(QLatin1Char(':')) ? address : QStringLiteral("mailto:") + address);
    }
    // The handler's result is not examined: nothing is reported when no
    // application opens the link.
    const auto& opener = UrlOpener();
    if (opener)
        opener(url);
    else
        QDesktopServices::openUrl(url);
}

} // namespace lumitray
