// SPDX-License-Identifier: MIT
#include "PlaceholderWindow.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tessaly {

PlaceholderWindow::PlaceholderWindow(ChildWindow kind, QWidget* parent) : QWidget(parent), m_kind(kind)
{
    setWindowTitle(Caption(kind));
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QStringLiteral("この画面は準備中です。"), this);
    note->setAlignment(Qt::AlignCenter);
    layout->addWidget(note);
    resize(420, 240);
}

QString PlaceholderWindow::Caption(ChildWindow kind)
{
    switch (kind) {
    case ChildWindow::FormList: return QStringLiteral("履歴ﾘｽﾄ");
    case ChildWindow::FormConfig: return QStringLiteral("購読設定");
    case ChildWindow::FormParam: return QStringLiteral("基本設定");
    case ChildWindow::frmAbout: return QStringLiteral("Tessalyのﾊﾞｰｼﾞｮﾝ情報");
    }
    return {};
}

} // namespace tessaly
