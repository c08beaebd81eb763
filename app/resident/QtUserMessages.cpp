// SPDX-License-Identifier: MIT
#include "resident/QtUserMessages.h"

#include "resident/ProgramVersion.h"
#include "resident/QtText.h"

#include <QMessageBox>

namespace tessaly {

namespace {

QString BoxText(std::string_view text)
{
    QString result = Utf8Text(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

int Ask(std::string_view text, QMessageBox::StandardButtons buttons, QMessageBox::StandardButton byDefault)
{
    QMessageBox box(QMessageBox::NoIcon, Utf8Text(kProgramTitle), BoxText(text), buttons);
    box.setDefaultButton(byDefault);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec();
}

} // namespace

void QtUserMessages::ShowMessage(std::string_view text)
{
    Ask(text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtUserMessages::AskYesNo(std::string_view question)
{
    return Ask(question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

} // namespace tessaly
