# The driver's sources, named once for the native build and the Windows
# cross build alike, relative to this folder.
#
# The wire: requests, replies and their checks, the rules on what is owed,
# and the log; also linked by the tests and the fuzzer that drive them.
set(TQ7310_DRIVER_WIRE_SOURCES
    ErrorKind.cpp
    Exchange.cpp
    Frame.cpp
    Ledger.cpp
    SystemError.cpp
    TrafficLog.cpp)
# The ports and the exported operations.
set(TQ7310_DRIVER_PORT_SOURCES
    AnyPoint.cpp
    LibmodbusTransport.cpp
    LineSettings.cpp
    LinkCounters.cpp
    ModbusRTU.cpp
    ModbusTcpTransport.cpp
    NetworkLine.cpp
    OpenLine.cpp
    Port.cpp
    PortName.cpp
    PortReport.cpp
    Ports.cpp
    RtuOverTcpTransport.cpp
    SerialDevice.cpp
    TrafficEntries.cpp)
