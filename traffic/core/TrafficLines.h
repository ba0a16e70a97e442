#pragma once
// One log entry of the driver as the lines of the traffic window: the
// request sent, the reply received, or bytes that came late.

#include <QDateTime>
#include <QList>
#include <QString>

#include "ModbusRTU.h"

namespace traffic {

struct TrafficLine {
    std::uint32_t sequence = 0;  // the log entry's number on its port
    int port = 0;
    QDateTime time;
    QString direction;  // 发送 / 接收 / 迟到的接收, marked when the finder probed
    QString bytes;      // hex
    QString meaning;    // what the bytes say, or the verdict on them
    bool failed = false;
};

// `frameAt`: where the frame as RTU shapes it (address first) starts in the
// entry's bytes, past a Modbus TCP header's first six.
QList<TrafficLine> linesOf(int port, const Tq7310Traffic& entry, int frameAt = 0);

// "12:03:04.567  端口1 #17  发送  01 03 …  读保持寄存器 1-16": a line as text,
// for copying and saving.
QString lineText(const TrafficLine& line);

// The whole line, however long its frame: where and when, then the bytes
// sixteen to a line with their count, then what they say.
QString detailText(const TrafficLine& line);

}  // namespace traffic
