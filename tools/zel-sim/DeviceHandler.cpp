#include "DeviceHandler.h"

namespace zelsim {

TByteArray Answer(TStat Status, const uint8_t* Data, size_t Count) {
    TByteArray out(2 + Count);
    out[0] = uint8_t(Status);
    out[1] = 0;
    for (size_t i = 0; i < Count; ++i)
        out[2 + i] = Data[i];
    return out;
}

TByteArray Answer(TStat Status, const TByteArray& Data) {
    return Answer(Status, Data.data(), Data.size());
}

TStat CheckLength(size_t Got, size_t Want) {
    if (Got < Want)
        return E_NOT_ENOUGH_PARAMS;
    if (Got > Want)
        return Want == 0 ? E_NO_PARAM_EXPECTED : E_CMD_FORMAT_ERROR;
    return E_SUCCESS;
}

} // namespace zelsim
