#pragma once
// Cell values of the last decoded sensor frame.
#include <cstddef>
#include <cstdint>
#include <vector>

class TFrameData {
public:
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    // Resizing keeps the values at the front and fills new places with 0.
    void SetWidth(int32_t Value);
    void SetHeight(int32_t Value);
    int32_t Count() const { return int32_t(FCells.size()); }

    // An index outside the store raises std::out_of_range "Index is out of bounds (i > Count-1)".
    // Inline: a frame of the largest matrix writes 32,000 cells, up to a thousand frames a second.
    void SetCell(int32_t Index, int32_t Value) {
        if (Index < 0 || Index >= Count())
            OutOfBounds(Index);
        FCells[size_t(Index)] = Value;
    }
    int32_t Cell(int32_t Index) const;
    const std::vector<int32_t>& Cells() const { return FCells; }

    uint32_t Timestamp = 0;

private:
    void Resize();
    [[noreturn]] void OutOfBounds(int32_t Index) const;

    int32_t FWidth = 0;
    int32_t FHeight = 0;
    std::vector<int32_t> FCells;
};
