#pragma once
// Message boxes with one OK button go through here, so that tests can record them instead of
// blocking and programs without a window can print them. Widget-free: the console installs the
// box (MessageBox.h) as the hook.
#include <QString>

#include <functional>

class QWidget;

// Decides the box's icon; the texts and captions are the caller's.
enum class TMessageKind { Information, Error };

struct TMessage {
    TMessageKind Kind = TMessageKind::Information;
    QString Text;
    QString Caption; // the application's name when the caller gives none
    QWidget* Parent = nullptr;
};

using TMessageHook = std::function<void(const TMessage& Message)>;

// Hands the message to the installed hook; without one it goes to the debug output.
void ShowMessage(TMessageKind Kind, const QString& Text, const QString& Caption = QString(),
                 QWidget* Parent = nullptr);
// Installs a hook (the console's box, tests, headless tools); returns the previous one.
TMessageHook SetMessageHook(TMessageHook Hook);
