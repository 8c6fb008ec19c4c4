# CAN transport sources (kept apart so the CAN layer can grow on its own).
target_sources(zel_transports PRIVATE CANDevice.h CANDevice.cpp)
