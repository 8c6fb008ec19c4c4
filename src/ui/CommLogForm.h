#pragma once
// "Communications log": every packet the device sends on its synchronous path and every packet it
// receives. It keeps the last 150 (or up to a million) so that the view can be redrawn when an
// option changes, decodes their fields, filters and searches them, and saves and opens them.
#include "device/CommLog.h"
#include "ui/CommLogDecoder.h"
#include "cmdtext/CommLogHistory.h"
#include "ui/CommLogView.h"
#include "protocol/tick.h"

#include <QWidget>

#include <string>
#include <vector>

class TCommLogFiles;
class TCommLogOptions;
class TCommLogSearch;
struct TLogRecord;

// The window puts its parts together: the options bar (TCommLogOptions), the find bar
// (TCommLogSearch), the view (TCommLogView) and the files bar (TCommLogFiles); it keeps the history
// and, in TCommLogDecoder, the device whose packets it logs.
class TCommLog : public QWidget, public TCommLogSink {
    Q_OBJECT
public:
    static constexpr int32_t HistorySize = 150;
    // Packets the text view holds at most; a longer history is shown a page at a time.
    static constexpr int32_t PageSize = TCommLogView::PageSize;
    // Whose commands the log names and decodes.
    using TDeviceKind = TLogDeviceKind;
    using enum TLogDeviceKind;

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
    static constexpr int ViewIntervalMs = TCommLogView::ViewIntervalMs;
    // Brings the view to exactly the history's lines now.
    void UpdateView();

    // Packets kept; 150 unless chosen otherwise.
    void SetKeep(int64_t Packets);
    void SetFilter(const TLogFilter& Filter);
    // Index among the shown packets of the first one in the view, and how many the view holds.
    int64_t PageFirst() const;
    int64_t PageCount() const;
    // Shows the page that starts at the shown packet First (the history's scroll bar does this).
    void ScrollHistoryTo(int64_t First);

    // Search over the shown packets from the current hit, either direction, wrapping around: the
    // pattern in the packet's line with its command name, status and fields (whatever the view
    // shows; case ignored), or with Hex its bytes in the payload. The hit is shown and selected;
    // false when none.
    bool FindNext(const QString& Pattern, bool Hex, bool Backward = false);
    bool FindNextFailed();
    // Index among the shown packets of the current hit, -1 without one.
    int64_t CurrentHit() const;

    // The history as the view shows it, or as CSV when Path ends in ".csv"; a failure is shown
    // in an error box and leaves the history as it is.
    bool SaveToFile(const QString& Path);
    // Opens a saved CSV log in a read-only log window of its own; a malformed file is reported
    // with its line and nothing is shown. The window deletes itself when closed.
    TCommLog* OpenFile(const QString& Path);
    bool IsReadOnly() const { return FDecoder.Opened(); }
    TDeviceKind DeviceKind() const { return FDecoder.Kind(); }
    // The view written anew with the options as they are now.
    void OnOptionsChanged();

protected:
    void showEvent(QShowEvent* Event) override;

private:
    TLogSource Source();
    void Place();
    void Connect();
    void Clear();
    void ShowFilterMenu();
    void FilterEdited();
    void LoadRecords(std::vector<TLogRecord>&& Records, TDeviceKind Kind);

    TLogHistory FHistory;
    TCommLogOptions* FOptions = nullptr;
    TCommLogSearch* FSearch = nullptr;
    TCommLogView* FView = nullptr;
    TCommLogFiles* FFiles = nullptr;

    TCommLogDecoder FDecoder;
    TTickSource FClock;
    uint32_t FOrigin = 0;
    bool FStarted = false;
    bool FPlaced = false;
};
