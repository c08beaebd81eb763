// SPDX-License-Identifier: MIT
#include "ResidentDoubles.h"

#include "traycontrol/IconTable.h"

namespace tessaly::test {

using namespace lumitray;

namespace {

class RecordingArea final : public NotificationArea {
public:
    RecordingArea(ShellRecorder& recorder, QStringList& log) : m_recorder(recorder), m_log(log) {}
    bool notifyIcon(std::uint32_t operation, const TrayIconRequest& request) override
    {
        m_recorder.calls.push_back({operation, request, IconTable::instance().image(request.icon)});
        if (operation == NIM_ADD || operation == NIM_DELETE)
            m_log << (operation == NIM_ADD ? QStringLiteral("icon added") : QStringLiteral("icon removed"));
        return !m_recorder.desktop || m_recorder.desktop->notifyIcon(operation, request);
    }
    void setIconMenu(WindowHandle window, std::int32_t id, QMenu* menu) override
    {
        if (m_recorder.desktop)
            m_recorder.desktop->setIconMenu(window, id, menu);
    }

private:
    ShellRecorder& m_recorder;
    QStringList& m_log;
};

QString Text(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace

ShellRecorder::ShellRecorder(QStringList& log)
{
    m_previous = SetNotificationArea(std::make_unique<RecordingArea>(*this, log));
}

ShellRecorder::~ShellRecorder()
{
    SetNotificationArea(std::move(m_previous));
}

void LoggingMessages::ShowMessage(std::string_view text)
{
    m_log << QStringLiteral("message: ") + Text(text);
}

bool LoggingMessages::AskYesNo(std::string_view question)
{
    m_log << QStringLiteral("question: ") + Text(question);
    if (answers.empty())
        return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<QString> ScriptedInputBox::ask(const QString& prompt, const QString& title)
{
    m_log << QStringLiteral("input: %1 [%2]").arg(prompt, title);
    if (answers.empty())
        return std::nullopt;
    const QString answer = answers.front();
    answers.pop_front();
    return answer;
}

} // namespace tessaly::test
