#pragma once
// The program's pictures, shared by the menus and the tool bar:
// 0 New, 1 Open, 2 Save, 3 Preview, 4 Print, 5 Help, 6 Delete rows,
// 7 Append from the instrument.
#include <QIcon>
#include <QPixmap>

constexpr int kPictureCount = 8;
QIcon Picture(int index);
// The 400 x 78 picture of the splash window.
QPixmap SplashPicture();
