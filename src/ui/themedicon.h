#pragma once

#include <QIcon>

// The desktop theme's icon, or our own drawing (":/vorlane/icons/<fallback>.svg")
// where the theme has none.
QIcon themedIcon(const char *themeName, const char *fallback);
