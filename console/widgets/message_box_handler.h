#pragma once
// Message boxes of the running server: a QMessageBox while a display is
// there; on the offscreen platform or without DISPLAY/WAYLAND_DISPLAY the
// text goes to stderr and the default answer is taken.
bool HasInteractiveDisplay();
void InstallMessageBoxHandler();
