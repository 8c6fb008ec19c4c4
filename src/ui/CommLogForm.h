#pragma once
// "Communications log": every packet the device sends on its synchronous path and every packet it
// receives. It keeps the last 150 (or up to a million) so that the view can be redrawn when an
// option changes, decodes their fields, filters and searches them, and saves and opens them.
#include "device/CommLog.h"
#include "cmdtext/CommLogHistory.h"
#include "protocol/tick.h"

#include <QPointer>
#include <QWidget>

#include <string>
#include <vector>

class TKORADevice;
struct TCommandFields;
class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QTimer;
class QToolButton;
struct TLogOptions;
struct TSelectionDecoding;

class TCommLog : public QWidget, public TCommLogSink {
    Q_OBJECT
public:
    static constexpr int32_t HistorySize = 150;
    // Packets the text view holds at most; a longer history is shown a page at a time.
    static constexpr int32_t PageSize = 500;
    // Whose commands the log names and decodes.
    enum TDeviceKind { dkGeneric, dkGripper, dkSensor };

    // A window of Parent (its transient: kept above it); closing it only hides it.
    explicit TCommLog(QWidget* Parent = nullptr);
    ~TCommLog() override;

    // Not owned; may be null. A matrix sensor shows the data-packet suppression option.
    void SetDevice(TKORADevice* Device);
    void AddPacket(const TPacket& Packet, bool Received) override;

    // The logged copies, oldest first; received ones carry LogReceivedFlag.
    const TLogHistory& History() const { return FHistory; }
    // The clock that stamps each logged packet; empty restores the tick counter.
    void SetClock(TTickSource Clock);
    // The view's text, one entry per line, after showing any packets still waiting to be shown.
    QStringList Lines();
    // The view catches up with the history at most this often, so that a fast stream of packets
    // costs one trim, one append and one layout per interval rather than per packet.
    static constexpr int ViewIntervalMs = 40;
    // Brings the view to exactly the history's lines now.
    void UpdateView();

    // Packets kept; 150 unless chosen otherwise.
    void SetKeep(int64_t Packets);
    void SetFilter(const TLogFilter& Filter);
    // Index among the shown packets of the first one in the view, and how many the view holds.
    int64_t PageFirst() const { return FPageFirst; }
    int64_t PageCount() const { return FPageCount; }
    // Shows the page that starts at the shown packet First (the history's scroll bar does this).
    void ScrollHistoryTo(int64_t First);

    // Search over the shown packets from the current hit, either direction, wrapping around: the
    // pattern in the packet's line with its command name, status and fields (whatever the view
    // shows; case ignored), or with Hex its bytes in the payload. The hit is shown and selected;
    // false when none.
    bool FindNext(const QString& Pattern, bool Hex, bool Backward = false);
    bool FindNextFailed();
    // Index among the shown packets of the current hit, -1 without one.
    int64_t CurrentHit() const { return FHit; }

    void btnClearClick();
    void btnSaveClick();
    void btnOpenClick();
    // The history as the view shows it, or as CSV when Path ends in ".csv"; a failure is shown
    // in an error box and leaves the history as it is.
    bool SaveToFile(const QString& Path);
    // Opens a saved CSV log in a read-only log window of its own; a malformed file is reported
    // with its line and nothing is shown. The window deletes itself when closed.
    TCommLog* OpenFile(const QString& Path);
    bool IsReadOnly() const { return FReadOnly; }
    TDeviceKind DeviceKind() const { return FKind; }
    void OnOptionsChanged();
    void miAsFloatClick();
    void miAsIntegerClick();
    void miAsTextClick();

protected:
    void showEvent(QShowEvent* Event) override;

private:
    TLogOptions Options() const;
    const TCommandFields* FieldsOf(int32_t ID) const;
    QString SelectedText() const;
    void ShowDecoding(const TSelectionDecoding& Decoding);
    void RxMsgMemoMouseUp(const QPoint& GlobalPos);
    void ScrollToEnd();
    void ScheduleView();
    void RebuildPage(int64_t First);
    void UpdateHistoryBar();
    void BuildFilterMenu();
    struct TSearchButtons {
        QPushButton* Previous;
        QPushButton* Next;
        QPushButton* Failed;
    };
    void BuildOptionsBar();
    TSearchButtons BuildSearchBar();
    QHBoxLayout* BuildView();
    void BuildFilesBar();
    void BuildMenus();
    void BuildSearchShortcuts();
    void FilterMenuChanged();
    void ShowSearch();
    // Escape: the find bar closes and the log keeps the focus.
    void HideSearch();
    void SearchClicked(bool Backward);
    void ShowHit(int64_t Index, const QString& Pattern);
    QByteArray ViewText();
    bool WriteCsv(class QIODevice& Out) const;
    void LoadRecords(std::vector<struct TLogRecord>&& Records, TDeviceKind Kind);

    QFrame* Panel7 = nullptr;
    QCheckBox* cbShowIDDescr = nullptr;
    QCheckBox* cbEvaluateErrorCodes = nullptr;
    QCheckBox* cbSuppressDataPackets = nullptr;
    QCheckBox* cbTimeStamps = nullptr;
    QCheckBox* cbDecodeFields = nullptr;
    QToolButton* btnFilter = nullptr;
    QMenu* FFilterMenu = nullptr;
    QComboBox* cbKeep = nullptr;
    QFrame* pnSearch = nullptr;
    QLineEdit* edSearch = nullptr;
    QCheckBox* cbHexSearch = nullptr;
    QLabel* lbSearch = nullptr;
    QPlainTextEdit* RxMsgMemo = nullptr;
    QScrollBar* sbHistory = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* btnOpen = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnClear = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* miAsFloat = nullptr;
    QAction* miAsInteger = nullptr;
    QAction* miAsText = nullptr;
    // The view's right-click menu: the decode items, Copy and Select All.
    QMenu* FContextMenu = nullptr;

    QPointer<TKORADevice> FDevice;
    TDeviceKind FKind = dkGeneric;
    bool FSensor = false;
    bool FReadOnly = false;
    TLogHistory FHistory;
    TTickSource FClock;
    uint32_t FOrigin = 0;
    bool FStarted = false;
    QString FSaveFolder;
    QTimer* FViewTimer = nullptr;
    // The view holds the shown packets [FPageFirst, FPageFirst + FPageCount); while it follows the
    // newest packet, FUnshown newer ones wait for the next update.
    int64_t FPageFirst = 0;
    int64_t FPageCount = 0;
    int64_t FUnshown = 0;
    int32_t FStaleLines = 0; // lines at the top of the view whose packets left the history
    bool FFollow = true;
    int64_t FHit = -1;
    bool FPlaced = false;
    bool FFixedFontSet = false;
};
