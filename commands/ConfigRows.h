#pragma once
// The rows of the configuration frame: row k shows and writes holding
// register k + 1 through its editor, a combo box of fixed choices or a text
// box for a count preset. The layout places these editors and the "修改"
// buttons Command2AC(k); the configuration write reads them.

#include <QString>
#include <optional>
#include <vector>

struct ConfigRow {
    QString editor;  // "Combo3" or "Text1(5)"; empty for the clear button
    bool isTextBox;  // text rows accept 0..65535 only
    int holdingRegister;
};

// Rows 0..12, in order.
const std::vector<ConfigRow>& configRows();

// The row a Command2AC member writes, the clear button (15) included;
// nothing for an index that is not a member.
std::optional<ConfigRow> configRow(int index);

inline constexpr int kClearButton = 15;
