// The program's pictures: the seven row images, the four overall-status
// pictures and the program icon, drawn once and cached.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace tarnwatch {

QPixmap RowImagePixmap(int image);       // 16 x 16, images 0-6
QPixmap OverallStatusPixmap(int level);  // levels 3-6
QIcon ProgramIcon();

}  // namespace tarnwatch
