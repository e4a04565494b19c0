#pragma once

#include <QIcon>
#include <QImage>

namespace tolvane::app {

// The program's icon, drawn in code so that no image plugin is needed: a
// picture card with a downward arrow, for "the same picture, smaller".
QImage DrawAppIcon(int size);

// The icon at the sizes that title bars and task bars ask for.
QIcon AppIcon();

}  // namespace tolvane::app
