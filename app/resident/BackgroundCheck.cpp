// SPDX-License-Identifier: MIT
#include "resident/BackgroundCheck.h"

#include "checkrun/CheckRun.h"
#include "resident/ResidentData.h"
#include "resident/UiThreadPorts.h"

#include <memory>

namespace tessaly {
namespace {

/// What one run owns: its own copies of the program's records and the
/// ports that carry its calls to the UI thread.
struct RunRecords {
    RunRecords(const ResidentData& data, Balloon& balloon, UserMessages& messages)
        : folder(data.folder), settings(data.settings), before(data.subscriptions), table(data.subscriptions),
          balloon(balloon), messages(messages)
    {
    }

    std::string folder;
    BasicSettings settings;
    SubscriptionTable before; ///< the program's table as the run started
    SubscriptionTable table;  ///< the run's copy, whose last checks it sets
    UiThreadBalloon balloon;
    UiThreadMessages messages;
};

} // namespace

CheckRunner::Job MakeBackgroundCheck(ResidentData& data, Balloon& balloon, UserMessages& messages, const Clock& clock,
                                     std::set<std::string>& toldSkippedFolders, MailTransfer* mail, RowMask rows,
                                     const std::atomic<bool>* cancel, std::vector<uint64_t> holdBack)
{
    auto records = std::make_shared<RunRecords>(data, balloon, messages);
    CheckRunner::Job job;
    job.work = [records, &clock, &toldSkippedFolders, mail, rows, cancel, holdBack = std::move(holdBack)] {
        CheckRunContext run{records->folder,  records->settings, records->table,
                            records->balloon, records->messages, clock};
        run.toldSkippedFolders = &toldSkippedFolders;
        run.mail = mail;
        run.rows = rows;
        run.cancel = cancel;
        run.holdBack = holdBack;
        return CheckSubscriptions(run);
    };
    job.finish = [records, &data](bool) { TakeLastChecks(data.subscriptions, records->before, records->table); };
    return job;
}

} // namespace tessaly
