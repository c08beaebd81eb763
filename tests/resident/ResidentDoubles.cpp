// SPDX-License-Identifier: MIT
#include "ResidentDoubles.h"

#include "traycontrol/Picture.h"

namespace tessaly::test {

using namespace lumitray;

namespace {

class RecordingArea final : public NotificationArea {
public:
    explicit RecordingArea(std::vector<ShellCall>* calls) : m_calls(calls) {}
    bool notifyIcon(std::uint32_t operation, const TrayIconRequest& request) override
    {
        m_calls->push_back({operation, request});
        return true;
    }

private:
    std::vector<ShellCall>* m_calls;
};

QString Describe(const Variant& value)
{
    if (value.type() == Variant::Type::Picture) {
        std::shared_ptr<Picture> picture;
        value.toPicture(&picture);
        return picture && picture->type() == Picture::Icon ? QStringLiteral("icon") : QStringLiteral("picture");
    }
    QString text;
    value.toString(&text);
    return text;
}

QString Text(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace

ShellRecorder::ShellRecorder()
{
    m_previous = SetNotificationArea(std::make_unique<RecordingArea>(&calls));
}

ShellRecorder::~ShellRecorder()
{
    SetNotificationArea(std::move(m_previous));
}

HResult RecordingControl::invoke(DispId id, DispatchKind kind, std::span<Variant> arguments, Variant* result)
{
    const MemberInfo* member = FindMember(id);
    const QString name = member ? QString::fromUtf8(member->name) : QString::number(id);
    switch (kind) {
    case DispatchKind::PropertyPut: m_log << QStringLiteral("put %1 %2").arg(name, Describe(arguments.back())); break;
    case DispatchKind::PropertyPutRef:
        m_log << QStringLiteral("putref %1 %2").arg(name, Describe(arguments.back()));
        break;
    case DispatchKind::PropertyGet: m_log << QStringLiteral("get %1").arg(name); break;
    case DispatchKind::Method: m_log << QStringLiteral("call %1").arg(name); break;
    }
    if (failing == id)
        return E_FAIL;
    return m_real.invoke(id, kind, arguments, result);
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
