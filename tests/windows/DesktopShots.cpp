// SPDX-License-Identifier: MIT
// Opens every child window inside the main window on the display Qt is
// given, with sample data, and saves a screenshot of each.
//   windows_desktop_shots DATA_FOLDER ARTIFACT_DIR PREFIX [--maximised]
// --maximised: the main window is maximised (a small screen with a panel),
// each shot shows the whole screen, and a second shot of each window shows
// it after Shift+Tab from its first control has brought the focus to its
// last one (PREFIX-<window>-last.png).
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
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFontDatabase>
#include <QKeyEvent>
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

/// Saves `shot` as ARTIFACT_DIR/PREFIX-NAME.png; false when it cannot.
bool Save(const QPixmap& shot, const QString& path)
{
    if (shot.isNull() || !shot.save(path, "PNG")) {
        std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
        return false;
    }
    std::printf("saved %s\n", qPrintable(path));
    return true;
}

/// Shift+Tab from the window's first control: the focus goes round to its
/// last one, and the main window's area follows it.
void FocusLastControl(QWidget* window)
{
    QWidget* first = window->nextInFocusChain();
    while (first != window && !(first->focusPolicy() & Qt::TabFocus && first->isEnabled() && first->isVisible()))
        first = first->nextInFocusChain();
    first->setFocus(Qt::TabFocusReason);
    QKeyEvent backTab(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier);
    QApplication::sendEvent(first, &backTab);
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
    const bool maximised = argc == 5 && QByteArray(argv[4]) == "--maximised";
    if (argc != 4 && !maximised) {
        std::fprintf(stderr, "usage: windows_desktop_shots DATA_FOLDER ARTIFACT_DIR PREFIX [--maximised]\n");
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
    if (maximised) {
        frame.showMaximized();
        // The window manager maximises it in its own time.
        QElapsedTimer waited;
        waited.start();
        while (!frame.isMaximized() && waited.elapsed() < 5000)
            Settle(50);
        Settle(500);
    } else {
        frame.resize(760, 560);
        frame.show();
    }

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
        const QString path = folder + QLatin1Char('/') + prefix + QLatin1Char('-') + QLatin1String(name);
        // The whole screen when maximised: the panel and the title bar too.
        const auto grab = [&frame, maximised] { return frame.screen()->grabWindow(maximised ? 0 : frame.winId()); };
        if (!Save(grab(), path + ".png"))
            return 1;
        if (maximised) {
            FocusLastControl(child->widget());
            Settle(500);
            if (!Save(grab(), path + "-last.png"))
                return 1;
        }
    }
    return 0;
}
