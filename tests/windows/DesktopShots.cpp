// SPDX-License-Identifier: MIT
// Opens every child window inside the main window on the display Qt is
// given, with sample data, and saves a screenshot of each.
//   windows_desktop_shots DATA_FOLDER ARTIFACT_DIR PREFIX
// Exits 1 when no Japanese font is installed or a shot cannot be saved.
#include "common/Clock.h"
#include "common/Cp932.h"
#include "common/UserMessages.h"
#include "resident/CheckRunner.h"
#include "resident/FormMain.h"
#include "resident/ResidentData.h"
#include "settings/BasicSettings.h"
#include "windows/FormList.h"
#include "windows/FormWindowFactory.h"
#include "windows/HistoryModel.h"

#include <QApplication>
#include <QEventLoop>
#include <QFontDatabase>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <fstream>

using namespace tessaly;

namespace {

/// Prints what would be shown in a box, so the run never waits on one.
class PrintedMessages final : public UserMessages {
public:
    void ShowMessage(std::string_view text) override
    {
        std::fprintf(stderr, "message: %.*s\n", int(text.size()), text.data());
    }
    bool AskYesNo(std::string_view) override { return false; }
};

void Settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

void WriteSamples(ResidentData& data)
{
    std::ofstream history(data.folder + "/history.hst", std::ios::binary | std::ios::trunc);
    const char* names[] = {"報告書", "議事録", "Docs"};
    for (int i = 0; i < 40; ++i) {
        const std::string line = "26年12月" + std::to_string(10 + i % 20) + "_09:" + std::to_string(10 + i) + ":00," +
                                 names[i % 3] + ",/srv/共有/" + names[i % 3] + ",資料" + std::to_string(i) +
                                 ".docx,26年12月05_08:00:00,";
        history << Utf8ToCp932(line) << "\r\n";
    }
    data.settings.Conf_Mail = 1;
    data.settings.Conf_SmtpAuth = 1;
    data.settings.Conf_MailAdd = 1;
    data.settings.Conf_SmtpSrv = "smtp.example.jp";
    data.settings.Conf_SmtpPort = "587";
    data.settings.Conf_SmtpAuthPasswd = "secret";
    data.settings.Conf_Interval = "10";
    data.subscriptions[0] = {"報告書", "月次 週次", "/srv/共有/報告書", "*.docx", "1", "a@example.jp", "2026/12/06"};
    data.subscriptions[1] = {"議事録", "", "/srv/共有/議事録", "*.*", "0", "", ""};
    SaveSubscriptions(data.subscriptions, data.folder);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: windows_desktop_shots DATA_FOLDER ARTIFACT_DIR PREFIX\n");
        return 2;
    }
    if (QFontDatabase::families(QFontDatabase::Japanese).isEmpty()) {
        std::fprintf(stderr, "no font with Japanese glyphs is installed\n");
        return 1;
    }
    PrintedMessages messages;
    SystemClock clock;
    CheckRunner runner;
    ResidentData data{argv[1], {}, {}};
    WriteSamples(data);
    FormWindowFactory windows({data, messages, runner, clock});
    FormMain frame(windows, clock, [] {});
    frame.setAttribute(Qt::WA_DeleteOnClose, false);
    frame.resize(760, 560);
    frame.show();

    const QString folder = QString::fromLocal8Bit(argv[2]);
    const QString prefix = QString::fromLocal8Bit(argv[3]);
    const std::pair<ChildWindow, const char*> kinds[] = {{ChildWindow::FormList, "FormList"},
                                                         {ChildWindow::FormParam, "FormParam"},
                                                         {ChildWindow::FormConfig, "FormConfig"},
                                                         {ChildWindow::frmAbout, "frmAbout"}};
    for (const auto& [kind, name] : kinds) {
        QMdiSubWindow* child = frame.showChild(kind);
        if (auto* list = qobject_cast<FormList*>(child->widget())) {
            list->sortByColumn(1);
            list->model().markRead(1);
        }
        child->resize(child->widget()->sizeHint().expandedTo(child->size()));
        Settle(700);
        const QString path = folder + QLatin1Char('/') + prefix + QLatin1Char('-') + QLatin1String(name) + ".png";
        const QPixmap shot = frame.screen()->grabWindow(frame.winId());
        if (shot.isNull() || !shot.save(path, "PNG")) {
            std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
            return 1;
        }
        std::printf("saved %s\n", qPrintable(path));
    }
    return 0;
}
