// SPDX-License-Identifier: MIT
#include "resident/UiThreadPorts.h"

#include <QCoreApplication>
#include <QThread>

#include <string>
#include <type_traits>

namespace tessaly {
namespace {

/// Calls `call` on the UI thread and gives its result; the calling thread
/// waits for it.
template <typename Call>
auto OnUiThread(Call call) -> decltype(call())
{
    QCoreApplication* application = QCoreApplication::instance();
    if (QThread::currentThread() == application->thread())
        return call();
    if constexpr (std::is_void_v<decltype(call())>) {
        QMetaObject::invokeMethod(application, call, Qt::BlockingQueuedConnection);
    } else {
        decltype(call()) result{};
        QMetaObject::invokeMethod(
            application, [&result, &call] { result = call(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

} // namespace

std::string UiThreadBalloon::BalloonText() const
{
    return OnUiThread([this] { return m_target.BalloonText(); });
}

void UiThreadBalloon::SetBalloonText(std::string_view text)
{
    OnUiThread([this, text] { m_target.SetBalloonText(text); });
}

void UiThreadBalloon::SetBalloonTitle(std::string_view title)
{
    OnUiThread([this, title] { m_target.SetBalloonTitle(title); });
}

void UiThreadMessages::post(std::string_view text, void (UserMessages::*tell)(std::string_view))
{
    QCoreApplication* application = QCoreApplication::instance();
    if (QThread::currentThread() == application->thread()) {
        (m_target.*tell)(text);
        return;
    }
    QMetaObject::invokeMethod(
        application, [&target = m_target, tell, message = std::string(text)] { (target.*tell)(message); },
        Qt::QueuedConnection);
}

void UiThreadMessages::ShowMessage(std::string_view text)
{
    post(text, &UserMessages::ShowMessage);
}

void UiThreadMessages::TellSignInNeeded(std::string_view text)
{
    post(text, &UserMessages::TellSignInNeeded);
}

bool UiThreadMessages::AskYesNo(std::string_view)
{
    return false;
}

} // namespace tessaly
