#pragma once
// What the parts of the sensor window share: how their buttons, value labels, boxes and menu items
// are made, numbers and frame counts as the window writes them, and a command sent to the sensor
// with its failure reported in a box.
#include "taq/TAQ.h"

#include <QString>

#include <cstdint>
#include <functional>

class QGroupBox;
class QLabel;
class QMenu;
class QAction;
class QObject;
class QPushButton;
class QWidget;

// Asked for a file name (Save: a new file); empty when the operator cancelled.
using TAskFileName = std::function<QString(const QString& Caption, const QString& Filter, bool Save)>;

namespace TaqControls {
extern const QString ErrorCaption;

// "1 frame", "2 frames".
QString FrameCount(qint64 Count);
// Value with Decimals decimals in the operator's locale, without group separators.
QString Num(double Value, int Decimals);

void SetHint(QWidget* W, const QString& Hint);
QPushButton* Button(const QString& Name, const QString& Text, const QString& Hint, QWidget* Parent);
QGroupBox* Group(const QString& Name, const QString& Title, QWidget* Parent);

// Live values change with every frame shown: plain text without wrapping or selection, which would
// lay the text out as a document each time. The others can be selected and copied.
enum class TValueKind { Live, Selectable };
QLabel* Value(const QString& Name, const QString& Meaning, QWidget* Parent,
              TValueKind Kind = TValueKind::Live);

// An item of Menu that runs Handler (guarded) while Context lives.
QAction* MenuItem(QMenu* Menu, const QString& Name, const QString& Text, const QString& Hint,
                  QObject* Context, std::function<void()> Handler);

// Sends the command and waits for its answer; a failure is reported in a box over Window, naming
// What ("setting the gain"). Urgent goes out also while another request waits for its answer.
bool Execute(TTAQ& Taq, uint8_t CommandID, const TByteArray& Payload, const QString& What, QWidget* Window,
             bool Urgent = false);
// The text of "the command failed" as the window reports it.
QString CommandFailedText();
} // namespace TaqControls
