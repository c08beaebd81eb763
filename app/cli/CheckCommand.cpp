// SPDX-License-Identifier: MIT
// tessalyctl check: one check run on the data folder.
#include "cli/Ctl.h"

#include "checkrun/CheckRun.h"
#include "common/Balloon.h"
#include "common/Clock.h"
#include "common/StreamMessages.h"
#include "settings/BasicSettings.h"

namespace tessaly {
namespace {

/// Keeps the balloon's title and text so they can be printed after the run.
class PrintedBalloon final : public Balloon {
public:
    std::string BalloonText() const override { return m_text; }
    void SetBalloonText(std::string_view text) override { m_text = text; }
    void SetBalloonTitle(std::string_view title) override { m_title = title; }

    /// The title on one line, then the text's lines, nothing when the run
    /// found no updates.
    void print(std::ostream& out) const { PrintBalloon(out, m_title, m_text); }

private:
    std::string m_title;
    std::string m_text;
};

} // namespace

int RunCheck(CtlContext& context)
{
    BasicSettings settings;
    std::string error;
    if (!LoadBasicSettings(settings, context.folder, &error)) {
        context.err << "tessalyctl: the settings could not be loaded completely, no check was run: " << error << '\n';
        return kCtlFailed;
    }
    StreamMessages messages(context.err);
    SubscriptionTable table; // the run reads subscription.dat itself, under the data folder's lock
    PrintedBalloon balloon;
    SystemClock clock;
    CheckRunContext run{context.folder, settings, table, balloon, messages, clock};
    const bool complete = CheckSubscriptions(run);
    balloon.print(context.out);
    return complete ? kCtlOk : kCtlFailed;
}

} // namespace tessaly
