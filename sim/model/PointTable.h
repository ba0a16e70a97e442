#pragma once
// The module's points as the line serves them: the runs of points in each
// table, and what reading or writing one means to the model. A point outside
// every run is not served.

#include <cstdint>

#include "ModuleModel.h"

namespace sim {

enum class Table { Coils, Inputs, Holding, InputRegisters };

// `at` counts from `first`.
struct Range {
    Table table;
    int first;
    int count;
    std::uint16_t (*read)(const ModuleModel& model, int at);
    bool (*accepts)(int at, std::uint16_t value) = nullptr;                    // any value
    void (*write)(ModuleModel& model, int at, std::uint16_t value) = nullptr;  // dropped
};

// The run that serves `point` (1-based), or nullptr.
const Range* findRange(Table table, int point);

// The highest point served in `table`.
int highestPoint(Table table);

}  // namespace sim
