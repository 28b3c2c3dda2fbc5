#include "support/Timings.h"

namespace kubrix {

TLoadTimings& LoadTimings() {
    static TLoadTimings timings;
    return timings;
}

}  // namespace kubrix
