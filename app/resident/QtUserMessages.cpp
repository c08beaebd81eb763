// SPDX-License-Identifier: MIT
#include "resident/QtUserMessages.h"

#include "resident/ProgramVersion.h"
#include "resident/QtText.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace tessaly {

namespace {

/// The room a title bar takes besides its caption (icon and buttons).
constexpr int kTitleBarButtons = 160;

QString BoxText(std::string_view text)
{
    QString result = Utf8Text(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

int Ask(std::string_view text, QMessageBox::StandardButtons buttons, QMessageBox::StandardButton byDefault,
        QMessageBox::StandardButton onEscape)
{
    const std::unique_ptr<QMessageBox> box = MakeMessageBox(text, buttons);
    box->setDefaultButton(byDefault);
    box->setEscapeButton(onEscape);
    box->setWindowModality(Qt::ApplicationModal);
    return box->exec();
}

} // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(std::string_view text, QMessageBox::StandardButtons buttons)
{
    // Over the active window (centred on it), or over the screen when none is.
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, Utf8Text(kProgramTitle), BoxText(text), buttons,
                                             QApplication::activeWindow());
    // Wide enough for the caption and the title bar's buttons: the box
    // sizes itself from its layout, so a spacer sets the least width.
    const int captionWidth = box->fontMetrics().horizontalAdvance(box->windowTitle()) + kTitleBarButtons;
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(captionWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0,
                      1, grid->columnCount());
    return box;
}

void QtUserMessages::ShowMessage(std::string_view text)
{
    Ask(text, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtUserMessages::AskYesNo(std::string_view question)
{
    return Ask(question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::No) == QMessageBox::Yes;
}

} // namespace tessaly
