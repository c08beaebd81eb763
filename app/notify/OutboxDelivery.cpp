// SPDX-License-Identifier: MIT
#include "notify/OutboxDelivery.h"

#include "common/Clock.h"
#include "common/DataFolderLock.h"
#include "common/FileSystem.h"
#include "common/PathField.h"
#include "common/UserMessages.h"
#include "notify/NotificationMail.h"
#include "notify/OAuthSignIn.h"
#include "notify/Outbox.h"

#include <functional>
#include <sys/stat.h>

namespace tessaly {
namespace {

constexpr std::string_view kUpdateMailFailed = "ﾒｰﾙ送信で失敗しました(1)。";
constexpr std::string_view kPasswordMailFailed = "ﾒｰﾙ送信で失敗しました(2)。";
constexpr std::string_view kReadTheLog = "ﾛｸﾞﾌｧｲﾙを確認してください。";

/// What identifies one state of mail.log: a failure that wrote to it
/// points the user there.
struct LogState {
    bool exists = false;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    static LogState Of(const std::string& path)
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return {};
        return {true, st.st_ino, st.st_size, st.st_mtim};
    }
    bool operator==(const LogState& other) const
    {
        return exists == other.exists && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
    }
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

/// True when `text` starts with "5.1." and a detail number: the enhanced
/// status of an address that does not exist or cannot be written so.
bool IsAddressStatus(std::string_view text)
{
    if (!text.starts_with("5.1.") || text.size() < 5 || !IsDigit(text[4]))
        return false;
    size_t end = 5;
    while (end < text.size() && IsDigit(text[end]))
        ++end;
    return end == text.size() || text[end] == ' ';
}

/// A refusal the server means for good: a 5xx reply to a recipient that
/// names the address itself (enhanced status 5.1.x; without enhanced status,
/// 550, 551 or 553). A refusal for policy (5.7.x, relaying for a sender who
/// did not log in) or any reply to the sender or the login is a setting to
/// mend, and the mail waits for it.
bool IsPermanent(const MailOutcome& outcome)
{
    const std::string_view text = outcome.text();
    if (!outcome.isRefused() || text.size() < 4 || text[0] != '5' || !IsDigit(text[1]) || !IsDigit(text[2]) ||
        (text[3] != ' ' && text[3] != '-') || text.find(" の RCPT TO:") == std::string_view::npos)
        return false;
    const std::string_view rest = text.substr(4);
    if (!rest.empty() && IsDigit(rest[0]) && rest.size() > 1 && rest[1] == '.')
        return IsAddressStatus(rest);
    const std::string_view code = text.substr(0, 3);
    return code == "550" || code == "551" || code == "553";
}

class Delivery final {
public:
    explicit Delivery(const OutboxDeliveryContext& context)
        : m_context(context),
          m_outbox(context.dataFolder), m_mail{context.transfer, context.settings, context.dataFolder}
    {
    }

    OutboxResult run();

private:
    enum class Step { Sent, Waits, Dropped };
    Step deliver(Notice& notice);
    /// Signs in for the mail session when the login is by OAuth 2.0:
    /// nothing when mail can go, else the step `notice` takes.
    std::optional<Step> signIn(Notice& notice, const LogState& before);
    MailOutcome send(const Notice& notice, bool update);
    Step failed(Notice& notice, bool update, const MailOutcome& outcome, const LogState& before);
    void toldRefusedSome(const Notice& notice, bool update, const MailOutcome& outcome);
    bool store(const std::function<bool(std::string*)>& change);
    bool cancelled() const { return m_context.cancel && m_context.cancel->load(); }

    const OutboxDeliveryContext& m_context;
    Outbox m_outbox;
    MailDelivery m_mail;
    /// The run's access token, obtained before its first mail.
    std::optional<AccessTokenResult> m_token;
};

OutboxResult Delivery::run()
{
    OutboxResult result;
    std::vector<Notice> notices = m_outbox.list();
    const int64_t now = m_context.clock.UnixNow();
    bool blocked = false;
    for (Notice& notice : notices) {
        // A notice waits behind an older one that waits.
        if (blocked || cancelled() || (!m_context.now && notice.nextAttempt > now)) {
            blocked = true;
            ++result.waiting;
            continue;
        }
        const Step step = deliver(notice);
        if (step == Step::Sent)
            ++result.sent;
        if (step == Step::Waits) {
            blocked = true;
            ++result.waiting;
        }
    }
    return result;
}

Delivery::Step Delivery::deliver(Notice& notice)
{
    const std::string log = JoinPath(m_context.dataFolder, kMailLogFileName);
    if (m_context.clock.UnixNow() - notice.created > kOutboxKeepSeconds) {
        m_context.messages.ShowMessage(std::string(kUpdateMailFailed) + "\r\n購読「" + notice.rowName +
                                       "」: 7日間送信できなかったため、ﾒｰﾙを破棄しました (" + notice.lastFailure +
                                       ")。文書は履歴に残っています。");
        store([&](std::string* error) { return m_outbox.remove(notice, error); });
        return Step::Dropped;
    }
    if (std::optional<Step> step = signIn(notice, LogState::Of(log)))
        return *step;
    if (!notice.updateSent) {
        const LogState before = LogState::Of(log);
        const MailOutcome outcome = send(notice, true);
        if (!outcome.isSent())
            return failed(notice, true, outcome, before);
        toldRefusedSome(notice, true, outcome);
        notice.updateSent = true;
        if (!notice.password.empty() && !store([&](std::string* error) { return m_outbox.update(notice, error); }))
            return Step::Waits;
    }
    if (!notice.password.empty()) {
        if (cancelled())
            return Step::Waits;
        const LogState before = LogState::Of(log);
        const MailOutcome outcome = send(notice, false);
        if (!outcome.isSent())
            return failed(notice, false, outcome, before);
        toldRefusedSome(notice, false, outcome);
    }
    store([&](std::string* error) { return m_outbox.remove(notice, error); });
    return Step::Sent;
}

std::optional<Delivery::Step> Delivery::signIn(Notice& notice, const LogState& before)
{
    using Status = AccessTokenResult::Status;
    if (!UsesOAuth(m_context.settings))
        return std::nullopt;
    if (!m_token) {
        m_token = ObtainAccessToken(m_context.transfer, m_context.settings, m_context.dataFolder, m_context.clock,
                                    m_context.lockWaitSeconds);
        m_mail.accessToken = m_token->token;
        if (!m_token->notice.empty())
            m_context.messages.ShowMessage(m_token->notice);
        // A sign-in the user has to mend is told once, not per notice and
        // not per run; the mail waits for it, unchanged.
        const std::string text = std::string(kUpdateMailFailed) + "\r\n" + m_token->message;
        if (m_token->tell && m_token->status == Status::SignInNeeded)
            m_context.messages.TellSignInNeeded(text);
        else if (m_token->tell && m_token->status == Status::ClientRejected)
            m_context.messages.ShowMessage(text);
    }
    if (m_token->status == Status::Ready)
        return std::nullopt;
    if (m_token->status == Status::Failed)
        return failed(notice, !notice.updateSent, MailOutcome::Failed(m_token->message), before);
    return Step::Waits;
}

MailOutcome Delivery::send(const Notice& notice, bool update)
{
    if (!update)
        return SendPasswordMail(m_mail, notice.recipients, notice.password, notice.managementNo);
    std::vector<std::string> attachments;
    const std::string folder = m_outbox.folderOf(notice);
    for (const std::string& attachment : notice.attachments)
        attachments.push_back(JoinPath(folder, attachment));
    NotificationMail mail{notice.subject, notice.body, attachments};
    return SendNotificationMail(m_mail, notice.recipients, mail);
}

Delivery::Step Delivery::failed(Notice& notice, bool update, const MailOutcome& outcome, const LogState& before)
{
    if (cancelled())
        return Step::Waits;
    if (UsesOAuth(m_context.settings) && IsRefusedToken(outcome.text()))
        ForgetAccessToken(m_context.dataFolder, m_mail.accessToken, m_context.lockWaitSeconds);
    const std::string log = JoinPath(m_context.dataFolder, kMailLogFileName);
    const LogState after = LogState::Of(log);
    std::string text(update ? kUpdateMailFailed : kPasswordMailFailed);
    if (after.exists && !(after == before))
        text += std::string(kReadTheLog);
    text += "\r\n購読「" + notice.rowName + "」: " + outcome.text();
    if (after.exists && !(after == before))
        text += "\r\nﾛｸﾞﾌｧｲﾙ: " + ValidUtf8(log);
    if (IsPermanent(outcome)) {
        m_context.messages.ShowMessage(text + "\r\nサーバーが受け付けないため、このﾒｰﾙは再送しません。");
        store([&](std::string* error) { return m_outbox.remove(notice, error); });
        return Step::Dropped;
    }
    m_context.messages.ShowMessage(text + "\r\nﾒｰﾙは送信待ちにし、後で再送します。");
    ++notice.attempts;
    notice.nextAttempt = m_context.clock.UnixNow() + OutboxPauseSeconds(notice.attempts);
    notice.lastFailure = outcome.text();
    store([&](std::string* error) { return m_outbox.update(notice, error); });
    return Step::Waits;
}

/// A mail that went to some recipients only: the refused ones are told,
/// and the mail is not sent again, which would repeat it to the others.
void Delivery::toldRefusedSome(const Notice& notice, bool update, const MailOutcome& outcome)
{
    if (!outcome.refusedSome())
        return;
    m_context.messages.ShowMessage(std::string(update ? kUpdateMailFailed : kPasswordMailFailed) + "\r\n購読「" +
                                   notice.rowName + "」: " + outcome.text() +
                                   "\r\nこの宛先には送れませんでした。ほかの宛先には送信しました。");
}

bool Delivery::store(const std::function<bool(std::string*)>& change)
{
    std::string error;
    const DataFolderLock lock = DataFolderLock::Acquire(m_context.dataFolder, m_context.lockWaitSeconds, &error);
    if (lock.held() && change(&error))
        return true;
    m_context.messages.ShowMessage("送信待ちのﾒｰﾙを更新できませんでした。\r\n" + error);
    return false;
}

} // namespace

int64_t OutboxPauseSeconds(int attempts)
{
    constexpr int kSteps = sizeof kOutboxPausesMinutes / sizeof kOutboxPausesMinutes[0];
    const int step = attempts < 1 ? 0 : attempts > kSteps ? kSteps - 1 : attempts - 1;
    return int64_t(kOutboxPausesMinutes[step]) * 60;
}

OutboxResult DeliverOutbox(const OutboxDeliveryContext& context)
{
    return Delivery(context).run();
}

} // namespace tessaly
