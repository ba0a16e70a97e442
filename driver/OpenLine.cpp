#include "OpenLine.h"

#include "ModbusTcpTransport.h"
#include "NetworkLine.h"
#include "RtuOverTcpTransport.h"
#include "SerialDevice.h"

namespace modbusrtu {

OpenedTransport openLine(const module_line::PortTarget& target, const LineSettings& settings,
                         const Timeouts& timeouts) {
    if (!target.networked()) {
        return openSerial(target.device, settings, timeouts);
    }
    OpenedTransport opened;
    modbus_t* ctx = connectTcp(target, timeouts, opened.error);
    if (ctx == nullptr) {
        return opened;
    }
    if (target.kind == module_line::TargetKind::ModbusTcp) {
        opened.transport = std::make_unique<ModbusTcpTransport>(ctx, timeouts);
    } else {
        opened.transport = std::make_unique<RtuOverTcpTransport>(ctx, timeouts);
    }
    return opened;
}

}  // namespace modbusrtu
