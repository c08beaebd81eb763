// SPDX-License-Identifier: MIT
#pragma once

#include "common/UserMessages.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>
#include <map>
#include <set>
#include <string>

namespace tessaly {

class CheckRunner;

/// What check runs have to tell the desktop user, told without holding
/// anything up: each message in a window that is not modal, so the timer's
/// runs go on while it waits to be read, and once per cause: a message the
/// previous run told already is not told again until a run goes without
/// it, and a window that is still open is never opened twice. Questions are
/// answered No without asking, since a run never waits for the user. After
/// mute() nothing is shown any more (the program is ending). UI thread only;
/// a run on a thread of its own reaches it through UiThreadMessages.
class RunNotices final : public QObject, public UserMessages {
    Q_OBJECT

public:
    /// Follows the runs of `runner`, which must outlive the notices.
    explicit RunNotices(CheckRunner& runner, QObject* parent = nullptr);
    ~RunNotices() override;

    void ShowMessage(std::string_view text) override;
    bool AskYesNo(std::string_view question) override;
    /// Through the notice set by setSignInNotice() when it shows, else as
    /// any other message.
    void TellSignInNeeded(std::string_view text) override;
    /// How a sign-in to renew is told (a balloon): true when it was shown.
    void setSignInNotice(std::function<bool(std::string_view)> show) { m_signInNotice = std::move(show); }

    /// Shows nothing from now on and closes what is open.
    void mute();
    /// The windows open now.
    std::vector<QMessageBox*> openWindows() const;

private:
    std::set<std::string> m_toldByLastRun;
    std::set<std::string> m_toldByThisRun;
    std::map<std::string, QPointer<QMessageBox>> m_open;
    bool m_muted = false;
    std::function<bool(std::string_view)> m_signInNotice;
};

} // namespace tessaly
