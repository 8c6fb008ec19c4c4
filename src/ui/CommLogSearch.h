#pragma once
// The command log's search: the find bar with its buttons, its keys (Ctrl+F, F3, Shift+F3,
// Escape) and the current hit among the shown packets.
#include "ui/CommLogPart.h"

#include <QList>
#include <QObject>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TCommLogView;

class TCommLogSearch : public QObject {
    Q_OBJECT
public:
    // The bar's controls and the keys are Window's.
    TCommLogSearch(QWidget* Window, TLogSource Source);
    // The view a hit is shown in; set before the first search. Its controls come after the find
    // bar's, so it is made after this part.
    void ShowHitsIn(TCommLogView& View) { FView = &View; }
    QWidget* Bar() const;
    QList<QWidget*> TabOrder() const;

    // Search over the shown packets from the current hit, either direction, wrapping around: the
    // pattern in the packet's line with its command name, status and fields (case ignored), or
    // with Hex its bytes in the payload. The hit is shown and selected; false when none.
    bool FindNext(const QString& Pattern, bool Hex, bool Backward = false);
    bool FindNextFailed();
    // Index among the shown packets of the current hit, -1 without one.
    int64_t CurrentHit() const { return FHit; }
    // The shown packets changed as a whole: no hit any more.
    void ForgetHit() { FHit = -1; }
    // The oldest shown packet left the history: the hit moves up by one.
    void Dropped() { FHit = FHit > 0 ? FHit - 1 : -1; }
    // The hit's number and the count follow the history as it grows, trims or is cleared.
    void ShowCount();

private:
    void BuildBar();
    void BuildKeys(QWidget* Window);
    void Show();
    // Escape: the find bar closes and the log keeps the focus.
    void Hide();
    void Clicked(bool Backward);
    int64_t FindText(const QString& Pattern, bool Backward) const;
    void ShowHit(int64_t Index, const QString& Pattern);

    TLogSource FSource;
    TCommLogView* FView = nullptr;
    QFrame* pnSearch = nullptr;
    QLineEdit* edSearch = nullptr;
    QCheckBox* cbHexSearch = nullptr;
    QPushButton* btnFindPrevious = nullptr;
    QPushButton* btnFindNext = nullptr;
    QPushButton* btnNextFailed = nullptr;
    QLabel* lbSearch = nullptr;
    int64_t FHit = -1;
};
