#pragma once
// Sensor frames on disk. A frame alone is CSV shaped like the matrix (one line per row). A
// recording is CSV with the header "timestamp,r1c1,r1c2,...,rHcW" and one line per frame: the
// frame's time stamp as the sensor sent it, then the cells row by row.
#include "platform/RecordFile.h"

#include <QFile>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

bool WriteFrameCsv(const QString& Path, const std::vector<int32_t>& Cells, int Width, int Height,
                   QString* Error = nullptr);

class TRecordingWriter {
public:
    ~TRecordingWriter();
    bool Open(const QString& Path, int Width, int Height, QString* Error = nullptr);
    // False when the line could not be written (disk full, file size limit); the recording is then
    // closed after its last whole frame, and Count() counts the frames in the file.
    bool Add(uint32_t Timestamp, const std::vector<int32_t>& Cells);
    void Close();
    bool IsOpen() const { return FFile.IsOpen(); }
    int Count() const { return FCount; }
    QString FileName() const { return FFileName; }
    QString LastError() const { return FError; }

private:
    TRecordFile FFile;
    QString FFileName;
    QString FError;
    int FWidth = 0;
    int FHeight = 0;
    int FCount = 0;
    std::string FLine; // reused from frame to frame
};

// Reads a recording frame by frame; only the line positions are kept in memory.
class TRecordingReader {
public:
    bool Open(const QString& Path, QString* Error = nullptr);
    void Close();
    bool IsOpen() const { return FFile.isOpen(); }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const { return int(FOffsets.size()); }
    QString FileName() const { return FFileName; }
    bool Frame(int Index, uint32_t& Timestamp, std::vector<int32_t>& Cells, QString* Error = nullptr);

private:
    QFile FFile;
    QString FFileName;
    std::vector<qint64> FOffsets;
    int FWidth = 0;
    int FHeight = 0;
};
