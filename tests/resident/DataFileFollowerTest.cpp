// SPDX-License-Identifier: MIT
// The running program takes in what others write to its settings and
// subscription files, keeping the edits of its own windows.
#include "support/RecordingMessages.h"
#include "support/TempFolder.h"

#include "resident/DataFileFollower.h"
#include "resident/ResidentData.h"

#include <gtest/gtest.h>

#include <functional>
#include <poll.h>
#include <sstream>
#include <unistd.h>

using namespace tessaly;
using namespace tessaly::test;

namespace {

struct Program {
    Program()
    {
        BasicSettings settings;
        settings.Conf_Interval = "10";
        EXPECT_TRUE(SaveBasicSettings(settings, folder.path(), nullptr));
        WriteFile(folder.file("subscription.dat"), "Docs,,/srv/docs,*.*,0,,,\r\n");
        data.folder = folder.path();
        LoadResidentSettings(data, log);
        LoadResidentSubscriptions(data, messages);
    }

    /// What tessalyctl does: the file as it is, one value changed.
    void writeSettings(const std::function<void(BasicSettings&)>& change)
    {
        BasicSettings settings;
        ASSERT_TRUE(LoadBasicSettings(settings, folder.path()));
        change(settings);
        ASSERT_TRUE(SaveBasicSettings(settings, folder.path(), nullptr));
    }

    TempFolder folder;
    ResidentData data;
    std::ostringstream log;
    RecordingMessages messages;
};

TEST(DataFileFollower, TakesInWhatOthersWroteAndKeepsUnsavedEdits)
{
    Program p;
    DataFileFollower follower(p.data, p.log);
    EXPECT_FALSE(follower.refresh());

    // A window's edit not saved yet, then tessalyctl changes another value.
    p.data.settings.Conf_SmtpSrv = "typed.example.jp";
    p.writeSettings([](BasicSettings& s) { s.Conf_Balloon = 1; });
    // The watch tells of the write.
    pollfd watch{follower.fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&watch, 1, 5000), 1);
    DataFileFollower::Changes changes = follower.refresh();
    EXPECT_TRUE(changes.settings);
    EXPECT_FALSE(changes.subscriptions);
    EXPECT_EQ(p.data.settings.Conf_Balloon, 1);
    EXPECT_EQ(p.data.settings.Conf_SmtpSrv, "typed.example.jp");

    // The program's own save of the same values changes nothing.
    ASSERT_TRUE(SaveBasicSettings(p.data.settings, p.folder.path(), nullptr));
    EXPECT_FALSE(follower.refresh());

    // A subscription added with tessalyctl; a row's cells are taken one by one.
    p.data.subscriptions[0].Keyword = "unsaved";
    WriteFile(p.folder.file("subscription.dat"), "Docs,,/srv/docs,*.*,1,,,\r\nNew,,/srv/new,*.pdf,0,,,\r\n");
    changes = follower.refresh();
    EXPECT_TRUE(changes.subscriptions);
    EXPECT_EQ(p.data.subscriptions[0].Subfolders, "1");
    EXPECT_EQ(p.data.subscriptions[0].Keyword, "unsaved");
    EXPECT_EQ(p.data.subscriptions[1].Name, "New");
    EXPECT_EQ(p.data.subscriptions[1].Folder, "/srv/new");
}

TEST(DataFileFollower, AFileThatCannotBeReadChangesNothing)
{
    Program p;
    DataFileFollower follower(p.data, p.log);
    const BasicSettings before = p.data.settings;
    const SubscriptionTable table = p.data.subscriptions;
    WriteFile(p.folder.file("sysconfig.dat"), "not a settings file at all");
    std::string eleven;
    for (int row = 0; row < 11; ++row)
        eleven += "Row,,/srv,*.*,0,,,\r\n";
    WriteFile(p.folder.file("subscription.dat"), eleven);
    EXPECT_FALSE(follower.refresh());
    EXPECT_EQ(p.data.settings, before);
    EXPECT_EQ(p.data.subscriptions, table);
    EXPECT_NE(p.log.str().find("sysconfig.dat was changed but cannot be read"), std::string::npos) << p.log.str();
    // Removed files leave the records as they are.
    ::unlink(p.folder.file("sysconfig.dat").c_str());
    ::unlink(p.folder.file("subscription.dat").c_str());
    EXPECT_FALSE(follower.refresh());
    EXPECT_EQ(p.data.settings, before);
}

} // namespace
