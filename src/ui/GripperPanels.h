#pragma once
// The command panels of the gripper window, each a band panel: a value with the button that
// changes it (acceleration, force limit), two coupled value rows with the button that sends them
// (move, grasp, release), or an explanation with its button (homing, stop, acknowledgement).
// Narrow windows switch the panels to a compact arrangement with the captions above their values.
// Also the few helpers the parts of the gripper window share: hints, numbers, failure boxes.
#include "widgets/BandPanel.h"
#include "protocol/stat.h"

class QGridLayout;
class QLabel;
class QPushButton;
class QSlider;
class TFloatEdit;

struct TButtonDef {
    const char* Name;
    const char* Text;
    const char* Hint;
};

// One value row of a motion panel: caption, edit (name, initial text, unit, initial maximum) and
// track bar.
struct TValueRowDef {
    const char* Caption;
    const char* Edit;
    const char* Initial;
    const char* Unit;
    double Max;
    const char* TrackBar;
};

// Tooltip and status bar hint.
void SetHint(QWidget* Widget, const QString& Hint);

// Numbers in the user's notation, without thousands separators (as printf-style formats print them).
QString FormatNumber(double Value, int Decimals);

// The error box of a command the device did not take: Prefix, then what the status says.
void ShowCommandFailure(const QString& Prefix, TStat Status, QWidget* Parent);

class TCommandPanel : public TBandPanel {
public:
    TCommandPanel(const char* Name, const QString& Title, const QColor& Band, const TButtonDef& Button,
                  QWidget* Parent);
    QPushButton* Button() const { return FButton; }
    // Captions above their values, for a narrow column.
    virtual void SetCompact(bool Compact) { FCompact = Compact; }
    bool Compact() const { return FCompact; }

protected:
    void Rearranged();

    QGridLayout* FGrid;
    QPushButton* FButton;
    bool FCompact = false;
};

class TValuePanel : public TCommandPanel {
public:
    TValuePanel(const char* Name, const QString& Title, const QColor& Band, const QString& Caption,
                const char* ValueName, const QString& Initial, const TButtonDef& Button, QWidget* Parent);
    QLabel* Value() const { return FValue; }
    void SetCompact(bool Compact) override;

private:
    QLabel* FCaption;
    QLabel* FValue;
};

class TMotionPanel : public TCommandPanel {
    Q_OBJECT
public:
    static constexpr int TrackBarMax = 200;
    // Room for the handle to travel in even the narrowest window.
    static constexpr int TrackBarMinWidth = 80;
    TMotionPanel(const char* Name, const QString& Title, const QColor& Band, const TValueRowDef (&Rows)[2],
                 const TButtonDef& Button, QWidget* Parent);

    TFloatEdit* Edit(int Row) const { return FRows[Row].Edit; }
    QSlider* TrackBar(int Row) const { return FRows[Row].TrackBar; }
    QLabel* Caption(int Row) const { return FRows[Row].Caption; }
    bool ValuesValid() const;
    void SetCompact(bool Compact) override;

    // The coupling: the control the operator works with drives the other one; a write from the
    // other side is never sent back, so the two cannot feed each other.
    void FloatEditChange(TFloatEdit* Sender);
    void TrackbarChange(QSlider* Sender);

signals:
    // An edit's text changed: the button's enabled state may change with it.
    void ValuesChanged();

private:
    struct TRow {
        QLabel* Caption = nullptr;
        TFloatEdit* Edit = nullptr;
        QLabel* Unit = nullptr;
        QSlider* TrackBar = nullptr;
    };
    void Arrange();
    TRow FRows[2];
    bool FSyncing = false;
};

class TTextPanel : public TCommandPanel {
public:
    // Extra, if any, goes below the text (the homing direction list).
    TTextPanel(const char* Name, const QString& Title, const QColor& Band, const QString& Text,
               const TButtonDef& Button, QWidget* Extra, QWidget* Parent);
};
