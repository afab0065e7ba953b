// Tessaly: the small pictures of the window, drawn at run time in the
// desktop theme's colours.
#pragma once

#include <QIcon>
#include <QPalette>
#include <QPixmap>

namespace tessaly {

/// How a wizard step stands relative to the page shown.
enum class TStepState { kCurrent, kPassed, kComing };

/// The icon beside a step caption, side x side logical pixels.
QPixmap StepIcon(TStepState state, const QPalette& palette, int side, qreal device_pixel_ratio);

/// The program's icon: the installed theme icon, or one drawn here.
QIcon AppIcon();

}  // namespace tessaly
