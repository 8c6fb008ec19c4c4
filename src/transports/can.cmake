# CAN transport: the transport, its receive thread, and the CAN library layer on QtSerialBus (a
# worker thread owns the bus devices; a wake-up channel reaches it).
target_sources(zel_transports PRIVATE
  CANDevice.h CANDevice.cpp
  CANRxThread.h CANRxThread.cpp
  CanLib.h CanLib.cpp
  CanBus.h CanBus.cpp
  CanNet.h CanNet.cpp
  CanBusSeam.h CanBusSeam.cpp
  CanDoorbell.h CanDoorbell.cpp)
target_link_libraries(zel_transports PUBLIC Qt6::SerialBus)
