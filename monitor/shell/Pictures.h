// The program's pictures: the seven row images, the four overall-status
// pictures and the program icon, drawn once and cached; the browse and play
// icons of the property pages.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace tarnwatch {

QPixmap RowImagePixmap(int image);       // 16 x 16, images 0-6
QPixmap OverallStatusPixmap(int level);  // levels 3-6
QIcon ProgramIcon();
QIcon BrowseIcon();  // an open folder
QIcon PlayIcon();    // a loudspeaker with a play arrow

}  // namespace tarnwatch
