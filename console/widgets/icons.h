#pragma once
// The window's artwork, drawn rather than shipped: the server icon and the
// two database state pictures.
#include <QIcon>
#include <QPixmap>

QIcon ServerIcon();
QPixmap DatabaseStatePicture(bool connected);
