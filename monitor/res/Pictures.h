// The program's pictures: the seven row images, the four overall-status
// pictures, the program icon, the logo and the stopwatch, drawn once and
// cached; the browse and play icons of the property pages.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace tarnwatch {

QPixmap RowImagePixmap(int image);       // 16 x 16, images 0-6
QPixmap OverallStatusPixmap(int level);  // levels 3-6
QIcon ProgramIcon();
// The logo below the buttons and in the About box: a mountain tarn under a
// watchful eye, 76 x 81.
QPixmap LogoPixmap();
// The stopwatch beside "Timers", 21 x 23.
QPixmap StopwatchPixmap();
QIcon BrowseIcon();  // an open folder
QIcon PlayIcon();    // a loudspeaker with a play arrow

}  // namespace tarnwatch
