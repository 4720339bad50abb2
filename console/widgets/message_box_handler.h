#pragma once
// Message boxes of the running server: a QMessageBox while a display is
// there; on the offscreen platform or without DISPLAY/WAYLAND_DISPLAY the
// text goes to stderr and the default answer is taken.
#include <QMessageBox>
#include <memory>
#include <string_view>

bool HasInteractiveDisplay();
// The box shown for a GBK text, captioned with the application's name, wide
// enough for that caption.
std::unique_ptr<QMessageBox> MakeMessageBox(std::string_view text, QMessageBox::StandardButtons buttons);
void InstallMessageBoxHandler();
