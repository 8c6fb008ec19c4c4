#include "taq/FrameDataClass.h"

#include <stdexcept>
#include <string>

void TFrameData::SetWidth(int32_t Value) {
    FWidth = Value;
    Resize();
}

void TFrameData::SetHeight(int32_t Value) {
    FHeight = Value;
    Resize();
}

void TFrameData::Resize() {
    const int64_t count = int64_t(FWidth) * FHeight;
    FCells.resize(count > 0 ? size_t(count) : 0, 0);
}

void TFrameData::OutOfBounds(int32_t Index) const {
    throw std::out_of_range("Index is out of bounds (" + std::to_string(Index) + " > " +
                            std::to_string(Count() - 1) + ")");
}

int32_t TFrameData::Cell(int32_t Index) const {
    if (Index < 0 || Index >= Count())
        OutOfBounds(Index);
    return FCells[size_t(Index)];
}
