#pragma once
// The status line's words for what the driver says about a port: the link
// (port, device, line settings, address, or why it did not open), the module
// (answering or how it failed) and the counters since the last open.

#include <QString>
#include <optional>

#include "LinkParam.h"
#include "ModbusRTU.h"
#include "OutcomeText.h"
#include "SystemErrorText.h"

struct LinkStatusText {
    QString link;
    QString module;
    QString counters;
    bool healthy = false;  // the last transaction went through
    QString device;        // the part of `link` that gives up room on a narrow line
    // The link failed: it did not open, or the last transaction had no
    // proper answer (an exception reply is the module's answer).
    bool linkFailed = false;
};

// What the panel knows of the link by itself: whether the library loaded,
// and the transactions it made since "打开" and how many of them failed.
struct OwnAccount {
    bool libraryLoaded = false;
    int transactions = 0;
    int failures = 0;
};

// `status` is empty when the driver library could not be loaded or has no
// status export; then `own` tells which, and what the panel counted itself.
// `opened` tells whether "打开" was the last link action (rather than "关闭"
// or none). `lastReply` holds the bytes of the last transaction's reply where
// the traffic log has them.
LinkStatusText describeLink(const std::optional<Tq7310LinkStatus>& status,
                            const LinkParamTable& linkParam, bool opened,
                            const OwnAccount& own = {}, const QByteArray& lastReply = {});
