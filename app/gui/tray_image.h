#pragma once
// The 16 x 16 picture used for the tray icon and the window icon: a small two-line pole display.
// Main (GUI) thread, after the application object exists.
#include <QPixmap>

namespace kestova {

QPixmap TrayImage();

}  // namespace kestova
