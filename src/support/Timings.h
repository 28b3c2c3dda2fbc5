#pragma once
// Where the time of a load goes, for a command that is asked to tell it: time spent waiting on
// the driver (running the select, fetching rows and values) is added up apart from the rest.
// Off unless switched on; then each measured call costs two clock reads.

#include <chrono>

namespace kubrix {

struct TLoadTimings {
    bool Enabled = false;
    //! Milliseconds inside the driver's execute calls.
    double ExecuteMs = 0;
    //! Milliseconds inside the driver's fetch and get-data calls and its letting go of a result.
    double FetchMs = 0;
    //! Milliseconds describing the select (the driver's work in it included).
    double DescribeMs = 0;
};

//! The process's load timings.
TLoadTimings& LoadTimings();

//! Adds the time of its scope to one of the load timings when they are enabled.
class TimedScope {
public:
    explicit TimedScope(double TLoadTimings::*part) : part_(LoadTimings().Enabled ? part : nullptr) {
        if (part_) start_ = std::chrono::steady_clock::now();
    }
    ~TimedScope() {
        if (part_)
            LoadTimings().*part_ += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    }
    TimedScope(const TimedScope&) = delete;
    TimedScope& operator=(const TimedScope&) = delete;

private:
    double TLoadTimings::*part_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace kubrix
