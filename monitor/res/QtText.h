// The string table's texts as Qt strings, for the window and the dialogs.
#pragma once

#include <QString>

#include "res/StringTable.h"

namespace tarnwatch {

// The string table's text of `id` as a Qt string.
inline QString TableText(int id) {
    return QString::fromLatin1(LoadString(id));
}

}  // namespace tarnwatch
