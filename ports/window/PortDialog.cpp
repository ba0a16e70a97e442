#include "PortDialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "PortChoiceText.h"
#include "SerialDevices.h"
#include "SerialLine.h"

namespace ports {

namespace {

QTableWidget* table(QWidget* parent, const char* name, const QString& accessible,
                    const QStringList& headers) {
    auto* t = new QTableWidget(0, int(headers.size()), parent);
    t->setObjectName(QLatin1String(name));
    t->setAccessibleName(accessible);
    t->setHorizontalHeaderLabels(headers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void setRow(QTableWidget* t, int row, const QStringList& cells) {
    for (int column = 0; column < cells.size(); ++column) {
        t->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
}

}  // namespace

PortDialog::PortDialog(const PortChoices& choices, int current, QWidget* parent)
    : QDialog(parent), choices_(choices), chosen_(choices.chosen()) {
    setObjectName(QStringLiteral("PortDialog"));
    setWindowTitle(QStringLiteral("端口设置"));
    ports_ = table(this, "PortTable", QStringLiteral("端口号及其目标"),
                   {QStringLiteral("端口"), QStringLiteral("目标"), QStringLiteral("来源")});
    // The target is what is read; the other two columns are short.
    ports_->horizontalHeader()->setStretchLastSection(false);
    ports_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->setObjectName(QStringLiteral("PortButtons"));
    buttons_->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("PortOk"));
    buttons_->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("确定"));
    buttons_->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("PortCancel"));
    buttons_->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("取消"));
    connect(buttons_, &QDialogButtonBox::accepted, this, &PortDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &PortDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(ports_, 2);
    top->addWidget(buildChoice(), 3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 3);
    layout->addWidget(buildDevices(), 2);
    layout->addWidget(buttons_);
    fillDevices();
    connect(ports_, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row >= 0 && ports_->item(row, 0)->text().toInt() != port_) {
            takeFields() ? showPort(ports_->item(row, 0)->text().toInt()) : fillPortTable();
        }
    });
    showPort(current);
    fillPortTable();
    resize(820, 560);
}

QWidget* PortDialog::buildChoice() {
    choice_ = new QGroupBox(this);
    choice_->setObjectName(QStringLiteral("PortChoice"));
    kinds_ = new QButtonGroup(this);
    kinds_->setObjectName(QStringLiteral("PortKinds"));
    auto* form = new QFormLayout(choice_);
    const struct {
        ChoiceKind kind;
        const char* name;
        QString caption;
    } kinds[] = {
        {ChoiceKind::Automatic, "KindAutomatic", QStringLiteral("自动（驱动默认）")},
        {ChoiceKind::Serial, "KindSerial", QStringLiteral("串口设备")},
        {ChoiceKind::ModbusTcp, "KindModbusTcp", QStringLiteral("Modbus TCP（地址即单元号）")},
        {ChoiceKind::RtuOverTcp, "KindRtuOverTcp", QStringLiteral("RTU over TCP（串口服务器）")},
    };
    for (const auto& k : kinds) {
        auto* option = new QRadioButton(k.caption, choice_);
        option->setObjectName(QLatin1String(k.name));
        option->setAccessibleName(QStringLiteral("目标类型 ") + k.caption);
        kinds_->addButton(option, int(k.kind));
        form->addRow(option);
    }
    connect(kinds_, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on) {
            showKind();
        }
    });
    device_ = new QComboBox(choice_);
    device_->setObjectName(QStringLiteral("DeviceEdit"));
    device_->setEditable(true);
    host_ = new QLineEdit(choice_);
    host_->setObjectName(QStringLiteral("HostEdit"));
    tcpPort_ = new QLineEdit(choice_);
    tcpPort_->setObjectName(QStringLiteral("TcpPortEdit"));
    const struct {
        QWidget* field;
        QString caption;
    } fields[] = {{device_, QStringLiteral("串口设备")},
                  {host_, QStringLiteral("主机")},
                  {tcpPort_, QStringLiteral("TCP 端口")}};
    for (const auto& f : fields) {
        f.field->setAccessibleName(f.caption);
        form->addRow(f.caption, f.field);
    }
    device_->lineEdit()->setAccessibleName(QStringLiteral("串口设备"));
    source_ = new QLabel(choice_);
    source_->setObjectName(QStringLiteral("PortSource"));
    source_->setAccessibleName(QStringLiteral("目标来源"));
    source_->setWordWrap(true);
    fault_ = new QLabel(choice_);
    fault_->setObjectName(QStringLiteral("PortFault"));
    fault_->setAccessibleName(QStringLiteral("输入错误"));
    fault_->setWordWrap(true);
    QPalette red = fault_->palette();
    red.setColor(QPalette::WindowText, QColor(200, 0, 0));
    fault_->setPalette(red);
    form->addRow(source_);
    form->addRow(fault_);
    return choice_;
}

QWidget* PortDialog::buildDevices() {
    auto* box = new QGroupBox(QStringLiteral("本机串口（双击选用）"), this);
    box->setObjectName(QStringLiteral("SerialDevices"));
    devices_ = table(
        box, "SerialDeviceTable", QStringLiteral("本机串口"),
        {QStringLiteral("名称"), QStringLiteral("位置"), QStringLiteral("描述"),
         QStringLiteral("制造商"), QStringLiteral("序列号"), QStringLiteral("/dev/serial/by-id")});
    auto* refresh = new QPushButton(QStringLiteral("刷新"), box);
    refresh->setObjectName(QStringLiteral("RefreshDevices"));
    refresh->setAccessibleName(QStringLiteral("刷新本机串口"));
    auto* use = new QPushButton(QStringLiteral("选用"), box);
    use->setObjectName(QStringLiteral("UseDevice"));
    use->setAccessibleName(QStringLiteral("选用所选串口"));
    connect(refresh, &QPushButton::clicked, this, &PortDialog::fillDevices);
    connect(use, &QPushButton::clicked, this, [this] { useDevice(devices_->currentRow()); });
    connect(devices_, &QTableWidget::cellDoubleClicked, this, &PortDialog::useDevice);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(refresh);
    buttons->addWidget(use);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(box);
    layout->addWidget(devices_);
    layout->addLayout(buttons);
    return box;
}

void PortDialog::fillPortTable() {
    std::vector<int> shown;
    for (int port = module_line::kFirstPort; port <= module_line::kLastPort; ++port) {
        if (port <= module_line::kListedPorts || port == port_ || chosen_.contains(port) ||
            choices_.setByEnvironment(port)) {
            shown.push_back(port);
        }
    }
    const QSignalBlocker quiet(ports_);
    ports_->setRowCount(int(shown.size()));
    for (int row = 0; row < int(shown.size()); ++row) {
        const int port = shown[std::size_t(row)];
        const bool byEnvironment = choices_.setByEnvironment(port);
        const QString target = byEnvironment ? choices_.target(port) : chosenText(port);
        setRow(ports_, row,
               {QString::number(port), target.isEmpty() ? automaticText(port) : target,
                sourceText(byEnvironment, !target.isEmpty())});
        if (port == port_) {
            ports_->setCurrentCell(row, 0);
        }
    }
    ports_->resizeColumnToContents(0);
    ports_->resizeColumnToContents(2);
}

QString PortDialog::chosenText(int port) const {
    const auto chosen = chosen_.find(port);
    return chosen == chosen_.end() ? QString() : chosen->second;
}

void PortDialog::fillDevices() {
    const std::vector<SerialDevice> found = serialDevices();
    devices_->setRowCount(int(found.size()));
    const QString typed = device_->currentText();
    device_->clear();
    for (int row = 0; row < int(found.size()); ++row) {
        const SerialDevice& d = found[std::size_t(row)];
        setRow(devices_, row,
               {d.name, d.location, d.description, d.manufacturer, d.serialNumber, d.byId});
        device_->addItem(d.location);
        if (!d.byId.isEmpty()) {
            device_->addItem(d.byId);
        }
    }
    device_->setEditText(typed);
}

void PortDialog::useDevice(int row) {
    if (row < 0 || !device_->isEnabled()) {
        return;
    }
    const QString byId = devices_->item(row, 5)->text();
    device_->setEditText(byId.isEmpty() ? devices_->item(row, 1)->text() : byId);
    kinds_->button(int(ChoiceKind::Serial))->setChecked(true);
}

void PortDialog::showPort(int port) {
    port_ = port;
    const bool byEnvironment = choices_.setByEnvironment(port);
    const QString target = byEnvironment ? choices_.target(port) : chosenText(port);
    const ChoiceFields f = fieldsOf(target);
    choice_->setTitle(QStringLiteral("端口%1 的目标").arg(port));
    choice_->setAccessibleName(choice_->title());
    kinds_->button(int(f.kind))->setChecked(true);
    device_->setEditText(f.device);
    host_->setText(f.host);
    tcpPort_->setText(f.tcpPort);
    source_->setText(byEnvironment ? environmentSourceText(port) + QStringLiteral("：") + target
                                   : QString());
    fault_->clear();
    showKind();
}

void PortDialog::showKind() {
    // Only the fields of the chosen kind take input; none for a port the
    // environment set.
    const auto kind = ChoiceKind(kinds_->checkedId());
    const bool editable = !choices_.setByEnvironment(port_);
    for (QAbstractButton* option : kinds_->buttons()) {
        option->setEnabled(editable);
    }
    device_->setEnabled(editable && kind == ChoiceKind::Serial);
    host_->setEnabled(editable &&
                      (kind == ChoiceKind::ModbusTcp || kind == ChoiceKind::RtuOverTcp));
    tcpPort_->setEnabled(host_->isEnabled());
    tcpPort_->setPlaceholderText(
        kind == ChoiceKind::ModbusTcp ? QString::number(module_line::kModbusTcpPort) : QString());
    fault_->clear();
}

ChoiceFields PortDialog::fields() const {
    ChoiceFields f;
    f.kind = ChoiceKind(kinds_->checkedId());
    f.device = device_->currentText();
    f.host = host_->text();
    f.tcpPort = tcpPort_->text();
    return f;
}

bool PortDialog::takeFields() {
    if (choices_.setByEnvironment(port_)) {
        return true;
    }
    const auto text = choiceText(fields());
    if (const auto* fault = std::get_if<ChoiceFault>(&text)) {
        fault_->setText(choiceFaultText(*fault));
        return false;
    }
    if (const QString& chosen = std::get<QString>(text); chosen.isEmpty()) {
        chosen_.erase(port_);
    } else {
        chosen_[port_] = chosen;
    }
    return true;
}

void PortDialog::accept() {
    if (takeFields()) {
        fillPortTable();
        QDialog::accept();
    }
}

}  // namespace ports
