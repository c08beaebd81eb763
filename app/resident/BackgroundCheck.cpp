// SPDX-License-Identifier: MIT
#include "resident/BackgroundCheck.h"

#include "checkrun/CheckRun.h"
#include "notify/ComponentMailTransfer.h"
#include "resident/ResidentData.h"
#include "resident/UiThreadPorts.h"

#include <cstdlib>
#include <iostream>
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
                                     const RunMemory& memory, MailTransfer* mail, RowMask rows,
                                     const std::atomic<bool>* cancel, std::vector<uint64_t> holdBack)
{
    auto records = std::make_shared<RunRecords>(data, balloon, messages);
    CheckRunner::Job job;
    job.work = [records, &clock, memory, mail, rows, cancel, holdBack = std::move(holdBack)] {
        CheckRunContext run{records->folder,  records->settings, records->table,
                            records->balloon, records->messages, clock};
        run.toldSkippedFolders = memory.toldSkippedFolders;
        run.toldUntrustedFolder = memory.toldUntrustedFolder;
        run.mail = mail;
        run.rows = rows;
        run.cancel = cancel;
        run.holdBack = holdBack;
        return CheckSubscriptions(run);
    };
    job.finish = [records, &data](bool) { TakeLastChecks(data.subscriptions, records->before, records->table); };
    return job;
}

void EndBackgroundRuns(CheckRunner& runner, std::atomic<bool>& cancel, int status, std::chrono::milliseconds limit)
{
    runner.close();
    cancel = true;
    InstalledMailTransfer().cancel();
    if (!runner.waitUntilIdle(limit)) {
        // A step that cannot be cancelled (a walk of a vast tree).
        std::cerr << "tessaly: the check run in progress did not end in time; ended without it" << std::endl;
        std::_Exit(status);
    }
}

} // namespace tessaly
