#include "Layout.h"

#include "Colours.h"
#include "ConfigRows.h"
#include "ControlNames.h"

namespace {

using namespace colours;

QString m(const char* array, int index) {
    return memberName(array, index);
}

ControlSpec frame(QString name, QString caption, Twips r, std::optional<Rgb> fg = {}) {
    return {
        .name = name, .kind = ControlKind::Frame, .caption = caption, .rect = r, .foreground = fg};
}

ControlSpec caption(QString name, QString parent, QString text, Twips r) {
    return {
        .name = name, .kind = ControlKind::Caption, .parent = parent, .caption = text, .rect = r};
}

ControlSpec valueBox(QString name, QString parent, Twips r, Rgb bg, bool hidden = false) {
    return {.name = name,
            .kind = ControlKind::ValueBox,
            .parent = parent,
            .rect = r,
            .background = bg,
            .font = FontFace::Song9Italic,
            .hidden = hidden};
}

ControlSpec button(QString name, QString parent, QString text, Twips r, bool hidden = false) {
    return {.name = name,
            .kind = ControlKind::Button,
            .parent = parent,
            .caption = text,
            .rect = r,
            .hidden = hidden};
}

ControlSpec option(QString name, QString parent, QString text, Twips r) {
    return {.name = name,
            .kind = ControlKind::OptionButton,
            .parent = parent,
            .caption = text,
            .rect = r};
}

ControlSpec combo(QString name, QString parent, QString text, Twips r,
                  FontFace font = FontFace::Default) {
    return {.name = name,
            .kind = ControlKind::ComboBox,
            .parent = parent,
            .caption = text,
            .rect = r,
            .font = font};
}

void addWindowControls(std::vector<ControlSpec>& c) {
    c.push_back(frame("Frame6", "通讯端口选择", {90, 270, 2115, 585}, kPortFrameCaption));
    c.push_back(frame(m("Frame5", 0), "地址", {90, 930, 2115, 585}));
    c.push_back(frame(m("Frame2", 1), "波特率", {2310, 270, 3225, 555}, kBaudFrameCaption));
    c.push_back(frame(m("Frame5", 1), "校验方式", {2280, 930, 3255, 555}));
    c.push_back(button("Command10", "", "关闭", {5640, 390, 825, 435}));
    c.push_back(button("Command9", "", "打开", {5640, 1020, 825, 435}));
    c.push_back(frame(m("Frame1", 0), "X1-4   DI1", {120, 1590, 6375, 795}));
    c.push_back(frame(m("Frame1", 33), "X6-10", {120, 2490, 6375, 795}));
    c.push_back(frame(m("Frame1", 1), "Y1-4", {120, 3330, 6375, 1665}));
    const int counterTops[] = {510, 1660, 2840, 4020};
    for (int i = 0; i < 4; ++i) {
        c.push_back(frame(m("Frame3", i), QStringLiteral("X%1计数值").arg(i + 1),
                          {6720, counterTops[i], 8685, 975}));
    }
    c.push_back(frame("Frame4", "CONFIG ", {120, 5160, 11625, 3885}));
    c.push_back(button(m("Command2AC", 15), "", "清零", {12000, 5490, 975, 375}));
    for (const auto& [index, text, r] :
         {std::tuple{9, "2001-03-12", Twips{10470, 90, 1245, 285}},
          std::tuple{10, "18：42：00", Twips{11730, 90, 1305, 285}}}) {
        c.push_back({.name = control::Label2(index),
                     .kind = ControlKind::ValueBox,
                     .caption = QString::fromUtf8(text),
                     .rect = r,
                     .background = kClockBackground,
                     .foreground = kClockText,
                     .font = FontFace::Arial10_5BoldItalic,
                     .centred = true});
    }
    c.push_back({.name = "Command1",
                 .kind = ControlKind::Button,
                 .caption = "退出",
                 .rect = {11940, 8190, 1095, 405},
                 .font = FontFace::Song10_5});

    // The hidden top row: created, never shown.
    c.push_back({.name = m("Label1", 22),
                 .kind = ControlKind::Caption,
                 .caption = "校验方式",
                 .rect = {5220, 120, 1005, 255},
                 .font = FontFace::Song9Italic,
                 .hidden = true});
    c.push_back({.name = m("D_4WRW", 21),
                 .kind = ControlKind::ValueBox,
                 .rect = {6240, 60, 1545, 285},
                 .background = kHiddenValueBox,
                 .font = FontFace::Song10_5Italic,
                 .hidden = true});
    c.push_back({.name = "Combo12",
                 .kind = ControlKind::ComboBox,
                 .caption = " ",
                 .rect = {7890, 60, 1245, 300},
                 .hidden = true});
    c.push_back(button("Command4", "", "修改", {9240, 30, 915, 405}, true));
}

void addLinkSettings(std::vector<ControlSpec>& c) {
    c.push_back(caption(m("Label1", 0), "Frame6", "通讯端口", {120, 240, 795, 195}));
    c.push_back(combo(control::Combo1(), "Frame6", " ", {990, 210, 1005, 300}));
    c.push_back(caption(m("Label1", 1), m("Frame5", 0), "模块地址", {120, 240, 795, 285}));
    c.push_back(combo(control::Combo2(), m("Frame5", 0), "", {990, 210, 975, 300}));
    const QString baud = m("Frame2", 1);
    c.push_back(option(control::Option1(0), baud, "9600", {120, 180, 855, 315}));
    c.push_back(option(control::Option1(1), baud, "19200", {1200, 180, 885, 345}));
    c.push_back(option(control::Option1(2), baud, "38400", {2250, 180, 795, 345}));
    const QString parity = m("Frame5", 1);
    c.push_back(option(control::Option2(0), parity, "无校验", {120, 180, 975, 285}));
    c.push_back(option(control::Option2(1), parity, "奇校验", {1200, 180, 885, 315}));
    c.push_back(option(control::Option2(2), parity, "偶校验", {2250, 180, 915, 315}));
}

void addStatusFrames(std::vector<ControlSpec>& c) {
    const int boxLefts[] = {90, 1350, 2610, 3870, 5130};
    struct CaptionPlace {
        const char* text;
        int left;
    };
    const CaptionPlace inputCaptions[] = {{"X1", 450},   {"X2", 1740}, {"X3", 3030},  {"X4", 4230},
                                          {"DI1", 5460}, {"DI2", 420}, {"DI3", 1740}, {"DI4", 2940},
                                          {"DI5", 4230}, {"DI6", 5460}};
    for (int i = 0; i < 10; ++i) {
        const QString parent = m("Frame1", i < 5 ? 0 : 33);
        c.push_back(
            valueBox(control::B_2R(i), parent, {boxLefts[i % 5], 240, 1125, 285}, kInputIdle));
        c.push_back(caption(m("Label6", i), parent, inputCaptions[i].text,
                            {inputCaptions[i].left, 570, 375, 195}));
    }
    const QString outputs = m("Frame1", 1);
    const int buttonLefts[] = {180, 1432, 2684, 3936, 5190};
    for (int i = 0; i < 5; ++i) {
        const bool y5 = i == 4;  // Y5 exists for the handlers but is never shown
        c.push_back(
            valueBox(control::B_1RW(i), outputs, {boxLefts[i], 300, 1125, 285}, kOutputIdle, y5));
        c.push_back(button(m("Command2", i), outputs, QStringLiteral("置位Y%1").arg(i + 1),
                           {buttonLefts[i], 690, 975, 375}, y5));
        c.push_back(button(m("Command3", i), outputs, QStringLiteral("复位Y%1").arg(i + 1),
                           {buttonLefts[i], 1170, 975, 375}, y5));
    }
}

void addCounterFrames(std::vector<ControlSpec>& c) {
    // Caption label indexes of the 16-bit count, the 32-bit count and the
    // frequency, frame by frame.
    const int captionIndex[4][3] = {{2, 3, 24}, {5, 4, 25}, {7, 6, 26}, {9, 8, 27}};
    for (int i = 0; i < 4; ++i) {
        const QString parent = m("Frame3", i);
        const QString x = QStringLiteral("X%1").arg(i + 1);
        // The first frame's frequency row sits 30 twips higher.
        const int frequencyTop = i == 0 ? 270 : 300;
        const int frequencyCaptionTop = i == 0 ? 660 : 690;
        c.push_back(valueBox(control::D_4R(i), parent, {330, 300, 1125, 285}, kValueBox));
        c.push_back(button(m("Command2A", i), parent, "清零16位", {1560, 240, 975, 375}));
        c.push_back(valueBox(control::D_4R32(i), parent, {2700, 300, 1995, 285}, kValueBox));
        c.push_back(button(m("Command2B", i), parent, "清零32位", {4950, 240, 1155, 375}));
        c.push_back(
            valueBox(control::D_4R32(i + 4), parent, {6360, frequencyTop, 1995, 285}, kValueBox));
        c.push_back(caption(m("Label1", captionIndex[i][0]), parent, x + "计数值16位",
                            {330, 690, 1125, 225}));
        c.push_back(caption(m("Label1", captionIndex[i][1]), parent, x + "计数值32位",
                            {3090, 690, 1125, 225}));
        c.push_back(caption(m("Label1", captionIndex[i][2]), parent, x + "频率值32位",
                            {6750, frequencyCaptionTop, 1125, 225}));
    }
}

void addConfigFrame(std::vector<ControlSpec>& c) {
    struct Row {
        int captionIndex;
        const char* caption;
        int captionLeft, captionTop, valueLeft, valueTop;
        int editorLeft, editorTop, buttonLeft, buttonTop;
    };
    const Row rows[] = {
        {10, "DI1 Function", 300, 360, 1650, 300, 2880, 300, 4590, 240},
        {11, "DI2 Function", 6060, 360, 7410, 300, 8640, 300, 10350, 240},
        {12, "DI3 Function", 300, 870, 1650, 810, 2880, 810, 4590, 750},
        {13, "DI4 Function", 6060, 870, 7410, 810, 8640, 810, 10350, 750},
        {14, "DO1 Function", 300, 1380, 1650, 1320, 2880, 1320, 4590, 1260},
        {15, "DO1计数预置值", 6060, 1380, 7410, 1320, 8670, 1290, 10350, 1260},
        {16, "DO2 Function", 300, 1890, 1650, 1830, 2880, 1830, 4590, 1770},
        {17, "DO2计数预置值", 6060, 1890, 7410, 1830, 8670, 1800, 10350, 1770},
        {18, "DO3 Function", 300, 2400, 1650, 2340, 2880, 2340, 4590, 2280},
        {19, "DO3计数预置值", 6060, 2400, 7410, 2340, 8670, 2310, 10350, 2280},
        {20, "DO4 Function", 300, 2910, 1650, 2850, 2880, 2850, 4590, 2790},
        {21, "DO4计数预置值", 6060, 2940, 7410, 2850, 8670, 2820, 10350, 2790},
        {23, "计数测频功能选择", 60, 3450, 1650, 3360, 2850, 3360, 4590, 3300},
    };
    static_assert(std::size(rows) == 13);
    const QString parent = "Frame4";
    for (int k = 0; k < 13; ++k) {
        const Row& r = rows[k];
        const ConfigRow& row = configRows()[k];
        const QString text = QString::fromUtf8(r.caption);
        const int captionWidth = text.endsWith("计数预置值")  ? 1275
                                 : text == "计数测频功能选择" ? 1515
                                                              : 1125;
        c.push_back(caption(m("Label1", r.captionIndex), parent, text,
                            {r.captionLeft, r.captionTop, captionWidth, 225}));
        c.push_back(
            valueBox(control::D_4R4(k), parent, {r.valueLeft, r.valueTop, 1125, 285}, kValueBox));
        if (!row.isTextBox) {
            c.push_back(combo(row.editor, parent, " ", {r.editorLeft, r.editorTop, 1635, 300},
                              FontFace::Song9Italic));
        } else {
            c.push_back({.name = row.editor,
                         .kind = ControlKind::TextBox,
                         .parent = parent,
                         .rect = {r.editorLeft, r.editorTop, 1545, 315}});
        }
        c.push_back(
            button(m("Command2AC", k), parent, "修改", {r.buttonLeft, r.buttonTop, 975, 375}));
    }
}

}  // namespace

const std::vector<ControlSpec>& mainWindowLayout() {
    static const std::vector<ControlSpec> layout = [] {
        std::vector<ControlSpec> c;
        addWindowControls(c);
        addLinkSettings(c);
        addStatusFrames(c);
        addCounterFrames(c);
        addConfigFrame(c);
        return c;
    }();
    return layout;
}

const std::vector<QString>& mainWindowTabOrder() {
    static const std::vector<QString> order = [] {
        std::vector<QString> o = {
            "Option1(0)",    "Option1(1)",     "Option1(2)",     "Option2(0)",     "Option2(1)",
            "Option2(2)",    "Combo1",         "Combo2",         "Command9",       "Command10",
            "Command1",      "Command2(0)",    "Command3(0)",    "Command2(1)",    "Command2(2)",
            "Command2(3)",   "Command3(1)",    "Command3(2)",    "Command3(3)",    "Command2A(0)",
            "Command2B(0)",  "Command2B(1)",   "Command2A(1)",   "Command2B(2)",   "Command2A(2)",
            "Command2B(3)",  "Command2A(3)",   "Combo3",         "Command2AC(0)",  "Combo4",
            "Command2AC(1)", "Combo5",         "Command2AC(2)",  "Combo6",         "Command2AC(3)",
            "Combo7",        "Command2AC(4)",  "Command2AC(5)",  "Text1(5)",       "Combo8",
            "Command2AC(6)", "Command2AC(7)",  "Text1(7)",       "Combo9",         "Command2AC(8)",
            "Command2AC(9)", "Text1(9)",       "Combo10",        "Command2AC(10)", "Command2AC(11)",
            "Text1(11)",     "Command2AC(15)", "Command2AC(12)", "Combo11"};
        return o;
    }();
    return order;
}
