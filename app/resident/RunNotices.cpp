// SPDX-License-Identifier: MIT
#include "resident/RunNotices.h"

#include "common/StreamMessages.h"
#include "resident/CheckRunner.h"
#include "resident/QtUserMessages.h"
#include "resident/ResidentOptions.h"

namespace tessaly {

RunNotices::RunNotices(CheckRunner& runner, QObject* parent) : QObject(parent)
{
    connect(&runner, &CheckRunner::runningChanged, this, [this](bool running) {
        if (running)
            m_toldByThisRun.clear();
        else
            m_toldByLastRun = std::move(m_toldByThisRun);
    });
}

RunNotices::~RunNotices()
{
    mute();
}

void RunNotices::ShowMessage(std::string_view text)
{
    std::string message(text);
    const bool toldBefore = m_toldByLastRun.count(message) != 0;
    m_toldByThisRun.insert(message);
    if (m_muted || toldBefore || m_open.count(message) != 0)
        return;
    std::unique_ptr<QMessageBox> box = MakeMessageBox(text, QMessageBox::Ok);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QMessageBox* open = box.release();
    m_open.emplace(message, open);
    // The entry goes with its box: the box is only a QWidget by the time it
    // says it is destroyed, so the pointer is not looked at then.
    connect(open, &QObject::destroyed, this, [this, message] { m_open.erase(message); });
    open->show();
    TestTrace("notice: " + StreamMessages::OneLine(message));
}

void RunNotices::TellSignInNeeded(std::string_view text)
{
    if (m_muted)
        return;
    if (m_signInNotice && m_signInNotice(text)) {
        TestTrace("notice: sign-in needed");
        return;
    }
    ShowMessage(text);
}

bool RunNotices::AskYesNo(std::string_view)
{
    return false;
}

void RunNotices::mute()
{
    m_muted = true;
    for (auto& [text, box] : m_open) {
        if (box)
            box->close();
    }
}

std::vector<QMessageBox*> RunNotices::openWindows() const
{
    std::vector<QMessageBox*> windows;
    for (const auto& [text, box] : m_open) {
        if (box)
            windows.push_back(box.data());
    }
    return windows;
}

} // namespace tessaly
