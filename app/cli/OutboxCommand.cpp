// SPDX-License-Identifier: MIT
// tessalyctl outbox: the notices that wait to be sent, sent now, or dropped.
#include "cli/Ctl.h"

#include "common/Clock.h"
#include "common/DataFolderLock.h"
#include "common/Json.h"
#include "common/StreamMessages.h"
#include "notify/ComponentMailTransfer.h"
#include "notify/Outbox.h"
#include "notify/OutboxDelivery.h"
#include "settings/BasicSettings.h"

#include <ctime>

namespace tessaly {
namespace {

std::string LocalTime(int64_t unixSeconds)
{
    if (unixSeconds <= 0)
        return "-";
    const time_t seconds = static_cast<time_t>(unixSeconds);
    struct tm local {};
    ::localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
    return text;
}

} // namespace

int RunOutboxShow(CtlContext& context)
{
    std::vector<std::string> problems;
    const std::vector<Notice> notices = Outbox(context.folder).list(&problems);
    for (const std::string& problem : problems)
        context.err << "tessalyctl: " << problem << '\n';
    if (context.json) {
        context.out << '[';
        bool any = false;
        for (const Notice& n : notices) {
            context.out << (any ? ",\n  " : "\n  ") << "{\"id\": " << JsonQuote(n.id)
                        << ", \"subscription\": " << JsonQuote(n.rowName)
                        << ", \"recipients\": " << JsonQuote(n.recipients)
                        << ", \"attachments\": " << n.attachments.size()
                        << ", \"password_mail\": " << (n.password.empty() ? "false" : "true")
                        << ", \"update_sent\": " << (n.updateSent ? "true" : "false") << ", \"created\": " << n.created
                        << ", \"next_attempt\": " << n.nextAttempt << ", \"attempts\": " << n.attempts
                        << ", \"last_failure\": " << JsonQuote(n.lastFailure) << '}';
            any = true;
        }
        context.out << (any ? "\n]\n" : "]\n");
    } else {
        for (const Notice& notice : notices) {
            context.out << notice.id << "  " << notice.rowName << "  " << notice.recipients << "  made "
                        << LocalTime(notice.created) << ", " << notice.attempts << " attempts, next "
                        << LocalTime(notice.nextAttempt) << (notice.lastFailure.empty() ? "" : "  ")
                        << notice.lastFailure << '\n';
        }
    }
    return problems.empty() ? kCtlOk : kCtlFailed;
}

int RunOutboxRetry(CtlContext& context)
{
    BasicSettings settings;
    std::string error;
    if (!LoadBasicSettings(settings, context.folder, &error)) {
        context.err << "tessalyctl: the settings could not be loaded completely, nothing was sent: " << error << '\n';
        return kCtlFailed;
    }
    StreamMessages messages(context.err);
    SystemClock clock;
    OutboxDeliveryContext delivery{context.folder, InstalledMailTransfer(), settings, messages, clock};
    delivery.lockWaitSeconds = kCtlLockWaitSeconds;
    delivery.now = true;
    const OutboxResult result = DeliverOutbox(delivery);
    context.out << result.sent << " sent, " << result.waiting << " waiting\n";
    return result.waiting == 0 ? kCtlOk : kCtlFailed;
}

int RunOutboxDrop(CtlContext& context, const std::string& id)
{
    std::string error;
    const DataFolderLock lock = DataFolderLock::Acquire(context.folder, kCtlLockWaitSeconds, &error);
    if (!lock.held())
        return LockNotTaken(context, lock, error, "dropped");
    Outbox outbox(context.folder);
    int dropped = 0;
    for (const Notice& notice : outbox.list()) {
        if (id != "all" && notice.id != id)
            continue;
        if (!outbox.remove(notice, &error)) {
            context.err << "tessalyctl: " << error << '\n';
            return kCtlFailed;
        }
        ++dropped;
    }
    if (dropped == 0 && id != "all") {
        context.err << "tessalyctl: no notice " << id << " waits in the outbox\n";
        return kCtlUsage;
    }
    context.out << dropped << " dropped\n";
    return kCtlOk;
}

} // namespace tessaly
