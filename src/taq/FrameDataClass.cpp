#include "FrameDataClass.h"

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

void TFrameData::SetCell(int32_t Index, int32_t Value) {
    if (Index < 0 || Index >= Count())
        throw std::out_of_range("Index is out of bounds (" + std::to_string(Index) + " > " +
                                std::to_string(Count() - 1) + ")");
    FCells[size_t(Index)] = Value;
}

int32_t TFrameData::Cell(int32_t Index) const {
    if (Index < 0 || Index >= Count())
        throw std::out_of_range("Index is out of bounds (" + std::to_string(Index) + " > " +
                                std::to_string(Count() - 1) + ")");
    return FCells[size_t(Index)];
}
