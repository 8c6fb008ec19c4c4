#include "protocol/ByteQueue.h"

#include <algorithm>
#include <cstring>

TByteQueue::TByteQueue(int32_t Size) { SetSize(Size); }

void TByteQueue::SetSize(int32_t Size) {
    FSize = std::max(Size, 1);
    FBuffer.assign(size_t(FSize), 0);
    FWrite = FRead = 0;
}

int32_t TByteQueue::Count() const {
    const int32_t d = FWrite - FRead;
    return d < 0 ? d + FSize : d;
}

void TByteQueue::Clear() { FWrite = FRead = 0; }

bool TByteQueue::IsFull() const { return FWrite + 1 == FRead || (FWrite == FSize - 1 && FRead == 0); }

bool TByteQueue::Push(uint8_t Byte) {
    if (IsFull())
        return false;
    FBuffer[size_t(FWrite)] = Byte;
    FWrite = (FWrite + 1 == FSize) ? 0 : FWrite + 1;
    return true;
}

int32_t TByteQueue::Read(uint8_t* Buffer, int32_t MaxCount) {
    const int32_t n = std::clamp(MaxCount, 0, Count());
    // At most two contiguous runs: up to the end of the ring, then from slot 0.
    const int32_t first = std::min(n, FSize - FRead);
    std::memcpy(Buffer, FBuffer.data() + FRead, size_t(first));
    std::memcpy(Buffer + first, FBuffer.data(), size_t(n - first));
    FRead = (FRead + n) % FSize;
    return n;
}
