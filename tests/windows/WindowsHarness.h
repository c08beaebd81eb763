// SPDX-License-Identifier: MIT
#pragma once
// What a child window works on, for tests: a fresh data folder, message
// boxes the test answers, a fixed clock and a check runner that counts.

#include "support/FixedClock.h"
#include "support/RecordingMessages.h"
#include "support/TempFolder.h"

#include "common/AutomationDate.h"
#include "resident/CheckRunner.h"
#include "resident/ResidentData.h"
#include "resident/WindowContext.h"

#include <QString>
#include <QTest>

#include <functional>
#include <string>

namespace tessaly::test {

struct WindowsHarness {
    TempFolder folder;
    RecordingMessages messages;
    FixedClock clock{ToAutomationDate({2026, 12, 6, 14, 5, 9})};
    int runs = 0;
    std::function<void()> onRun; ///< what the check run does, besides counting
    CheckRunner runner{[this] {
        ++runs;
        if (onRun)
            onRun();
        return true;
    }};
    ResidentData data{folder.path(), {}, {}};
    WindowContext context{data, messages, runner, clock};

    /// The last message shown, or "" when none was.
    QString lastMessage() const
    {
        return messages.messages.empty() ? QString() : QString::fromStdString(messages.messages.back());
    }
};

/// Types `text` into `box` one key per character, as an input method would
/// deliver characters that have no key of their own (QTest::keyClicks takes
/// ASCII only).
inline void TypeText(QWidget* box, const QString& text)
{
    for (char32_t character : text.toUcs4())
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString::fromUcs4(&character, 1), Qt::NoModifier);
}

} // namespace tessaly::test
