// SPDX-License-Identifier: MIT
#include "resident/QtInputBox.h"

#include <QInputDialog>
#include <QLineEdit>

namespace tessaly {

std::optional<QString> QtInputBox::ask(const QString& prompt, const QString& title)
{
    QInputDialog dialog;
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

} // namespace tessaly
