#pragma once
#include "imaging/cDIBSection.h"
#include "platform/MessageBox.h"
namespace glimmer {
inline bool SaveDibAsJpeg(MessageBox&, cDIBSection&, const QString&) { return false; }
}
