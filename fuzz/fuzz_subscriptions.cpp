// SPDX-License-Identifier: MIT
// Loads an arbitrary subscription.dat.
#include "FuzzInput.h"
#include "common/UserMessages.h"
#include "watch/SubscriptionTable.h"

namespace {
class QuietMessages final : public tessaly::UserMessages {
public:
    void ShowMessage(std::string_view) override {}
    bool AskYesNo(std::string_view) override { return false; }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tessaly::fuzz::PutFile("subscription.dat", data, size);
    tessaly::SubscriptionTable table;
    QuietMessages messages;
    tessaly::LoadSubscriptions(table, tessaly::fuzz::ScratchFolder(), messages);
    return 0;
}
