// What one event log line costs the user-interface thread with the operator
// window shown, as the server writes them at hotel scale: one line per
// datagram, each datagram its own pass of the event loop (so the window gets
// its chance to repaint after every line). Prints µs per line, all included
// (the line itself, the list's layout and the paints), for the window shown
// on the offscreen platform, hidden (in the tray), and with no window at all.
//   build/bench/log_view/log_view_bench [lines]      (default 4000)
// QT_QPA_PLATFORM=xcb under xvfb-run measures a real X display instead.
#include "console/kelvor_dlg.h"
#include "console/widgets/kelvor_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// Lines like the status reports' (building|floor room), so the text is
// realistic for the shaping and the eliding of the list.
double MicrosecondsPerLine(CKelvorDlg &server, int lines)
{
    char text[64];
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < lines; ++i) {
        std::snprintf(text, sizeof text, "%d|%d%02d房间状态改变 (code:0)", 1 + i % 4, 1 + i / 50 % 40, i % 50);
        server.AddLog(text);
        QCoreApplication::processEvents();
    }
    // Whatever the last lines left pending is part of their cost.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return static_cast<double>(clock.nsecsElapsed()) / 1000.0 / lines;
}

void Run(const char *name, int lines, bool window, bool shown)
{
    CKelvorDlg server;
    std::unique_ptr<CKelvorWindow> view;
    if (window) {
        view = std::make_unique<CKelvorWindow>(&server);
        if (shown) {
            view->show();
            QCoreApplication::processEvents();
        }
    }
    // The first 500 lines fill the list; from then on every line also drops
    // the oldest, as in a server that has run for a while.
    MicrosecondsPerLine(server, 500);
    std::printf("%-40s %8.1f us/line\n", name, MicrosecondsPerLine(server, lines));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 4000;
    if (lines <= 0) {
        std::fprintf(stderr, "usage: %s [lines]\n", argv[0]);
        return 2;
    }
    std::printf("%d lines on %s\n", lines, qPrintable(QGuiApplication::platformName()));
    Run("window shown", lines, true, true);
    Run("window hidden", lines, true, false);
    Run("no window", lines, false, false);
    return 0;
}
