#pragma once
// A file written record by record (a log row, a sensor frame) that always ends after a whole
// record: each record is one write, and one that does not fit (disk full, file size limit) is cut
// off again, with the system's reason. Nothing is buffered, so what was accepted is on disk.
#include <QString>

#include <cstddef>
#include <cstdint>

class TRecordFile {
public:
    TRecordFile() = default;
    TRecordFile(const TRecordFile&) = delete;
    TRecordFile& operator=(const TRecordFile&) = delete;
    ~TRecordFile();

    // Creates or empties Path; false with Error set to the system's reason.
    bool Create(const QString& Path, QString& Error);
    // Appends a whole record, or nothing: false with Error set ("No space left on device").
    bool Append(const char* Data, size_t Size, QString& Error);
    void Close();
    bool IsOpen() const { return FFd >= 0; }
    int64_t Size() const { return FSize; }

private:
    int FFd = -1;
    int64_t FSize = 0;
};
