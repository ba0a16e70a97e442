#pragma once
// The words for how a transaction went, wherever the panel shows it: the
// status line, the finder, the traffic window. Only what the bytes show.

#include <QByteArray>
#include <QString>

// "02 非法数据地址", "0B 网关：目标设备无应答": the code in hex, as the
// frame carries it.
QString exceptionText(int code);

// "13 37 FF 00"
QString hexBytes(const QByteArray& bytes);

// How a transaction ended, without the detail after "：", where the words
// follow "读取失败：": "超时", "异常应答 02 非法数据地址".
QString briefOutcomeText(int outcome, int exceptionCode, int otherAddress = 0,
                         quint32 maybeAnswers = 0);

// How a transaction ended. `reply` holds the bytes that came, where they are
// known; a bad frame shows them. `maybeAnswers` names the earlier request an
// ambiguous reply may answer.
QString outcomeText(int outcome, int exceptionCode, int otherAddress, int systemError,
                    const QByteArray& reply = {}, quint32 maybeAnswers = 0);
