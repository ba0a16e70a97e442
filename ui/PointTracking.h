#pragma once
// What of "读写任意点" the curves and the record follow: the points marked
// 曲线 or 记录, named, scaled and in their units, and each read of their row.

#include <vector>

#include "AnyPointPoller.h"
#include "Feed.h"

// The points of `rows` that are charted or recorded.
std::vector<trend::TrackedPoint> trackedPoints(const std::vector<anypoint::PointRow>& rows);

// What the last read of `row` brought for its tracked points, in their units;
// empty values when it failed.
std::vector<trend::PointRead> pointReads(const anypoint::PointRow& row);

// Keeps `feed` told of the tracked points and their reads.
void followTrackedPoints(anypoint::AnyPointPoller& poller, trend::Feed& feed);
