// SPDX-License-Identifier: MIT
// Saves the whole X screen as a PNG file, for the desktop test's artifacts.
//   resident_desktop_shot PATH
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: resident_desktop_shot PATH\n");
        return 2;
    }
    return QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
