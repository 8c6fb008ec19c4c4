#pragma once
// Fixed-size ring buffer of bytes; holds at most size - 1 bytes. Does not lock.
#include <cstdint>
#include <vector>

class TByteQueue {
public:
    explicit TByteQueue(int32_t Size);

    void SetSize(int32_t Size);
    int32_t Size() const { return FSize; }
    int32_t Count() const;
    void Clear();
    bool IsFull() const;
    bool Push(uint8_t Byte);
    int32_t Read(uint8_t* Buffer, int32_t MaxCount);

private:
    int32_t FWrite = 0;
    int32_t FRead = 0;
    int32_t FSize = 0;
    std::vector<uint8_t> FBuffer;
};
