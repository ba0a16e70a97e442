#ifndef TQ7310_TESTS_PANELFIXTURE_H
#define TQ7310_TESTS_PANELFIXTURE_H

#include "LinkParam.h"
#include "RecordingDriver.h"
#include "RecordingWindow.h"

// What a poll or a command runs against: the link settings, a driver and a
// window that record every call. A test class's init() calls reset(), so
// each test function starts from nothing.
struct PanelFixture {
    LinkParamTable linkParam{};
    RecordingDriver driver;
    RecordingWindow window;

    void reset() {
        linkParam = {};
        driver = RecordingDriver();
        window = RecordingWindow();
    }
};

#endif
