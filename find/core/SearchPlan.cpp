#include "SearchPlan.h"

#include <algorithm>

namespace finder {

QString LineSetting::parityName() const {
    return QString(QLatin1Char(module_line::parityOfCode(parityCode).value_or('?')));
}

QString LineSetting::text() const {
    return QStringLiteral("%1,%2").arg(baud()).arg(parityName());
}

std::vector<LineSetting> allSettings() {
    std::vector<LineSetting> settings;
    using namespace module_line;
    for (int baud = kFirstBaudCode; baud < kFirstBaudCode + int(kBauds.size()); ++baud) {
        for (int parity = kFirstParityCode; parity < kFirstParityCode + int(kParities.size());
             ++parity) {
            settings.push_back({baud, parity});
        }
    }
    return settings;
}

std::vector<Attempt> searchOrder(const LineSetting& current, int currentAddress,
                                 const std::vector<LineSetting>& chosen, int lastAddress,
                                 std::optional<Attempt> remembered) {
    std::vector<LineSetting> settings;
    const bool currentChosen = std::find(chosen.begin(), chosen.end(), current) != chosen.end();
    if (currentChosen) {
        settings.push_back(current);
    }
    for (const LineSetting& s : chosen) {
        if (!(s == current)) {
            settings.push_back(s);
        }
    }
    std::vector<Attempt> order;
    const bool leadWithCurrent = currentChosen && currentAddress >= module_line::kFirstAddress &&
                                 currentAddress <= lastAddress;
    if (leadWithCurrent) {
        order.push_back({current, currentAddress});
    }
    if (remembered &&
        std::find(chosen.begin(), chosen.end(), remembered->setting) != chosen.end() &&
        remembered->address >= module_line::kFirstAddress && remembered->address <= lastAddress &&
        !(leadWithCurrent && *remembered == order.front())) {
        order.push_back(*remembered);
    } else {
        remembered.reset();
    }
    const auto band = [&](int first, int last) {
        for (const LineSetting& s : settings) {
            for (int address = first; address <= last; ++address) {
                const Attempt a{s, address};
                if (!(leadWithCurrent && a == order.front()) && !(remembered && a == *remembered)) {
                    order.push_back(a);
                }
            }
        }
    };
    band(module_line::kFirstAddress, std::min(module_line::kListedAddresses, lastAddress));
    band(module_line::kListedAddresses + 1, lastAddress);
    return order;
}

std::vector<Attempt> oneSettingOrder(const LineSetting& setting, int currentAddress,
                                     int firstAddress, int lastAddress,
                                     std::optional<int> remembered) {
    std::vector<Attempt> order =
        searchOrder(setting, currentAddress, {setting}, lastAddress,
                    remembered ? std::optional(Attempt{setting, *remembered}) : std::nullopt);
    std::erase_if(order, [&](const Attempt& a) { return a.address < firstAddress; });
    return order;
}

}  // namespace finder
