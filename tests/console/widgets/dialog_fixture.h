#pragma once
// A server object for the dialogs without its sockets: the seed database
// open, the settings read and the test hotel built, as after a full start.
#include "support/server_fixture.h"

#include <QString>
#include <string>

class QPushButton;
class QWidget;

class DialogTest : public ServerTest {
protected:
    void SetUp() override;

    // A field of the first row the statement gives, "<none>" without one.
    std::string Query(const std::string &sql, const char *field);
    // Shows the dialog and waits until it is the active window, so that
    // focus changes reach its widgets.
    static void ShowActive(QWidget &dialog);
};

// Grabs the widget (a test fails on an empty picture) and saves it as
// <name>.png into the directory KELVOR_SCREENSHOT_DIR names, when set.
void Screenshot(QWidget *widget, const char *name);

// The dialog's button with that (GBK) caption.
QPushButton *ButtonWithText(QWidget &dialog, const char *gbk);
QString T(const char *gbk);
