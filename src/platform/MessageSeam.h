#pragma once
// Message boxes with one OK button go through here, so tests can record them instead of blocking.
#include <QString>

#include <functional>

class QWidget;

using TMessageHook = std::function<void(const QString& Text, const QString& Caption)>;

// Shows a modal message box with one OK button, or hands the text to the installed hook.
void ShowMessage(const QString& Text, const QString& Caption = QString(), QWidget* Parent = nullptr);
// Installs a hook (tests, headless tools); returns the previous one. Empty restores the box.
TMessageHook SetMessageHook(TMessageHook Hook);
