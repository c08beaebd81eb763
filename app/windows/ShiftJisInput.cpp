// SPDX-License-Identifier: MIT
#include "windows/ShiftJisInput.h"

#include "common/Cp932.h"
#include "common/UserMessages.h"

#include <QLineEdit>
#include <QValidator>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace tessaly {
namespace {

bool FitsShiftJis(const QString& text)
{
    return IsCp932Representable(text.toStdString());
}

/// The first character of `text` that code page 932 cannot hold, if any.
std::optional<char32_t> FirstNonShiftJisCharacter(const QString& text)
{
    if (FitsShiftJis(text))
        return std::nullopt;
    for (char32_t character : text.toUcs4()) {
        if (!FitsShiftJis(QString::fromUcs4(&character, 1)))
            return character;
    }
    return std::nullopt;
}

/// The refusal naming the box and, unless hidden, the character and its
/// code point.
std::string ShiftJisRefusal(const QString& field, std::optional<char32_t> character)
{
    QString shown;
    if (character) {
        const QString code =
            QStringLiteral("U+%1").arg(static_cast<uint>(*character), 4, 16, QLatin1Char('0')).toUpper();
        // A control character or lone mark would show as nothing: its code alone names it.
        const bool printable = QChar::isPrint(*character) && QChar::category(*character) != QChar::Mark_NonSpacing;
        shown = printable ? QStringLiteral("「%1」(%2)").arg(QString::fromUcs4(&*character, 1), code)
                          : QStringLiteral("(%1)").arg(code);
    }
    return (field + QStringLiteral("に Shift-JIS で表せない文字") + shown + QStringLiteral("は使えません。"))
        .toStdString();
}

/// Takes text that code page 932 holds, composed first when only that fits
/// (a password is taken as typed), and remembers why it last refused one.
class ShiftJisValidator final : public QValidator {
public:
    ShiftJisValidator(bool cellSeparators, bool compose, QObject* parent)
        : QValidator(parent), m_cellSeparators(cellSeparators), m_compose(compose)
    {
    }

    State validate(QString& text, int& position) const override
    {
        m_refusedCharacter.reset();
        m_refusedForCharacter = false;
        if (!FitsShiftJis(text)) {
            const QString form = m_compose ? text.normalized(QString::NormalizationForm_C) : text;
            if (!FitsShiftJis(form)) {
                m_refusedForCharacter = true;
                m_refusedCharacter = FirstNonShiftJisCharacter(form);
                return Invalid;
            }
            const qsizetype before = text.left(position).normalized(QString::NormalizationForm_C).size();
            position = static_cast<int>(std::min(before, form.size()));
            text = form;
        }
        if (m_cellSeparators &&
            (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'))))
            return Invalid;
        return Acceptable;
    }

    /// Whether the last refusal was for a character code page 932 lacks
    /// (rather than for a separator), and which one.
    bool refusedForCharacter() const { return m_refusedForCharacter; }
    std::optional<char32_t> refusedCharacter() const { return m_refusedCharacter; }

private:
    bool m_cellSeparators;
    bool m_compose;
    mutable bool m_refusedForCharacter = false;
    mutable std::optional<char32_t> m_refusedCharacter;
};

} // namespace

void GuardShiftJisInput(QLineEdit* box, const ShiftJisGuard& guard, UserMessages& messages)
{
    auto* validator = new ShiftJisValidator(guard.cellSeparators, !guard.masked, box);
    box->setValidator(validator);
    // The box reports a refusal before it takes the edit back; the message
    // waits until the box shows its previous text again, and a burst of
    // refused keys gives one message.
    auto pending = std::make_shared<bool>(false);
    QObject::connect(box, &QLineEdit::inputRejected, box, [box, validator, guard, pending, &messages] {
        if (!validator->refusedForCharacter() || *pending)
            return;
        *pending = true;
        const std::string text =
            ShiftJisRefusal(guard.field, guard.masked ? std::nullopt : validator->refusedCharacter());
        QMetaObject::invokeMethod(
            box,
            [text, pending, &messages] {
                *pending = false;
                messages.ShowMessage(text);
            },
            Qt::QueuedConnection);
    });
}

} // namespace tessaly
