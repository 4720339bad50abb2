#pragma once
// The window's texts are GBK narrow literals like every text of the server;
// Qt gets them converted.
#include "platform/gbk.h"

#include <QString>

inline QString GuiText(const char *gbk) { return platform::QStringFromGbk(gbk); }
