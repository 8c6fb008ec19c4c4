#pragma once
// The matrix sensor: its command identifiers (named in TaqCommandFields()), a device check that
// reads the matrix description, and the decoding of frames (plain or run-length coded) into the
// frame store.
#include "taq/FrameDataClass.h"
#include "device/KORADevice.h"

#include <QString>

class TTAQ : public TKORADevice {
    Q_OBJECT
public:
    enum : uint8_t {
        CMD_ID_FRAME_DATA = 0x00,
        CMD_ID_READ_SINGLE_FRAME = 0x20,
        CMD_ID_START_PERIODIC_ACQ = 0x21,
        CMD_ID_STOP_PERIODIC_ACQ = 0x22,
        CMD_ID_TARE = 0x23,
        CMD_ID_MATRIX_INFO = 0x30,
        CMD_ID_MASK_SET_WINDOW = 0x31,
        CMD_ID_MASK_SET = 0x32,
        CMD_ID_MASK_GET = 0x33,
        CMD_ID_THRESHOLD_SET = 0x34,
        CMD_ID_THRESHOLD_GET = 0x35,
        CMD_ID_GAIN_SET = 0x36,
        CMD_ID_GAIN_GET = 0x37,
        CMD_ID_TRANSDUCER_TYPE = 0x38,
    };
    static constexpr uint8_t DeviceTypeTAQ = 4;
    static constexpr uint8_t CodingRunLength = 2;

    explicit TTAQ(QObject* Owner);
    ~TTAQ() override;

    float CellWidth = 0;
    float CellHeight = 0;
    float SensorWidth = 0;
    float SensorHeight = 0;
    int32_t MatrixWidth = 0;
    int32_t MatrixHeight = 0;
    int32_t CellCount = 0; // 0 until the matrix information was read: frames are ignored
    int32_t MatrixInfoValue = 0;
    QString TransducerType;
    // Set while the sensor sends frames on its own, so that Disconnect stops it first. Follows
    // the answers to the start and stop commands, whoever sent them.
    bool PeriodicAcquisition = false;
    double Gain = 0;
    int32_t Threshold = 0;
    TFrameData FrameData;
    TDeviceNotifyList OnFrame;

    // Each: whether the exchange took place (and, for the matrix, the answer had 10 bytes).
    bool ReadMatrixInfo();
    bool ReadTransducerType();
    bool ReadGain();
    bool ReadThreshold();

    // Takes the 10-byte matrix information answer; false (nothing changed) for another length.
    bool ApplyMatrixInfo(const TByteArray& Data);
    // Decodes one frame into FrameData and fires OnFrame; EAssertionFailed when the frame does
    // not fill the matrix. Ignored before the matrix information and when shorter than 5 bytes.
    void DecodeFrame(const uint8_t* Frame, size_t Length);

    void PacketReceived(const TPacket& Packet) override;
    // A link that went down took the acquisition with it.
    void DoDisconnected(TDevice* Sender) override;
    bool CheckDevice() override;
    void Disconnect() override;
    void GetCommandName(int32_t CommandID, std::string& Name) const override;

private:
    void DecodeRunLength(const uint8_t* Words, size_t WordCount);
    void DecodePlain(const uint8_t* Words, size_t Length);
    void TrackAcquisition(const TPacket& Packet);
};
