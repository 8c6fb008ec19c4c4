#pragma once
// "Communications log": every packet the device sends on its synchronous path and every packet it
// receives, the last 150 kept so that the view can be redrawn when an option changes.
#include "CommLog.h"
#include "PacketListClass.h"
#include "tick.h"

#include <QPointer>
#include <QWidget>

#include <deque>

class TKORADevice;
class QAction;
class QCheckBox;
class QFrame;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;
struct TLogOptions;
struct TSelectionDecoding;

class TCommLog : public QWidget, public TCommLogSink {
    Q_OBJECT
public:
    static constexpr int32_t HistorySize = 150;

    // A tool window of Parent (stays on top of it); closing it only hides it.
    explicit TCommLog(QWidget* Parent = nullptr);
    ~TCommLog() override;

    // Not owned; may be null. A matrix sensor shows the data-packet suppression option.
    void SetDevice(TKORADevice* Device);
    void AddPacket(const TPacket& Packet, bool Received) override;

    // The logged copies, oldest first; received ones carry LogReceivedFlag.
    const TPacketList& History() const { return FHistory; }
    // The clock that stamps each logged packet; empty restores the tick counter.
    void SetClock(TTickSource Clock);
    // The view's text, one entry per line, after showing any packets still waiting to be shown.
    QStringList Lines();
    // The view catches up with the history at most this often, so that a fast stream of packets
    // costs one trim, one append and one layout per interval rather than per packet.
    static constexpr int ViewIntervalMs = 40;
    // Brings the view to exactly the history's lines now.
    void UpdateView();

    void btnClearClick();
    void btnSaveClick();
    // The history as the view shows it, or as CSV when Path ends in ".csv"; a failure is shown
    // in an error box and leaves the history as it is.
    bool SaveToFile(const QString& Path);
    void OnOptionsChanged();
    void miAsFloatClick();
    void miAsIntegerClick();
    void miAsTextClick();

protected:
    void showEvent(QShowEvent* Event) override;

private:
    TLogOptions Options() const;
    QString SelectedText() const;
    void ShowDecoding(const TSelectionDecoding& Decoding);
    void RxMsgMemoMouseUp(const QPoint& GlobalPos);
    void ScrollToEnd();
    void ScheduleView();
    void RebuildView();
    QString PacketText(int32_t Index, const TLogOptions& Options) const;
    QByteArray ViewText();
    QByteArray CsvText() const;

    QFrame* Panel7 = nullptr;
    QCheckBox* cbShowIDDescr = nullptr;
    QCheckBox* cbEvaluateErrorCodes = nullptr;
    QCheckBox* cbSuppressDataPackets = nullptr;
    QCheckBox* cbTimeStamps = nullptr;
    QPlainTextEdit* RxMsgMemo = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnClear = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* miAsFloat = nullptr;
    QAction* miAsInteger = nullptr;
    QAction* miAsText = nullptr;
    // The view's right-click menu: the decode items, Copy and Select All.
    QMenu* FContextMenu = nullptr;

    QPointer<TKORADevice> FDevice;
    bool FSensor = false;
    TPacketList FHistory;
    // Milliseconds since the first packet logged after construction or Clear, one per packet of
    // the history, so that the time stamps can be switched on and off at any time.
    std::deque<int64_t> FTimes;
    TTickSource FClock;
    uint32_t FOrigin = 0;
    QString FSaveFolder;
    QTimer* FViewTimer = nullptr;
    int32_t FUnshown = 0;    // newest packets of the history not yet in the view
    int32_t FStaleLines = 0; // lines at the top of the view whose packets left the history
    bool FPlaced = false;
    bool FFixedFontSet = false;
};
