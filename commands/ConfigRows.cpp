#include "ConfigRows.h"

#include "ControlNames.h"
#include "ModuleMap.h"

const std::vector<ConfigRow>& configRows() {
    static const std::vector<ConfigRow> rows = [] {
        // The combo box of each row, or none where the row is a count preset.
        const char* const combos[] = {"Combo3",  "Combo4", "Combo5", "Combo6", "Combo7",
                                      nullptr,   "Combo8", nullptr,  "Combo9", nullptr,
                                      "Combo10", nullptr,  "Combo11"};
        static_assert(std::size(combos) == module_map::kConfigRegistersShown);
        std::vector<ConfigRow> r;
        for (int k = 0; k < module_map::kConfigRegistersShown; ++k) {
            const int reg = module_map::kConfigRegister + k;
            r.push_back(combos[k] ? ConfigRow{QLatin1String(combos[k]), false, reg}
                                  : ConfigRow{control::Text1(k), true, reg});
        }
        return r;
    }();
    return rows;
}

std::optional<ConfigRow> configRow(int index) {
    if (index == kClearButton) {
        return ConfigRow{QString(), false, module_map::kClearCodeRegister};
    }
    if (index < 0 || index >= int(configRows().size())) {
        return std::nullopt;
    }
    return configRows()[index];
}
