#pragma once

#include <QString>

#include <functional>

// Where a window's messages to the user go (a message box on the desktop, a
// list in tests); it returns at once.
using MessageSink = std::function<void(const QString &text)>;
