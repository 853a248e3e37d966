#include "sim/soak/peak_rss.h"

#if defined(_WIN32)

namespace sim {

std::int64_t peakRssKb() {
    return 0;
}

std::int64_t heapInUseBytes() {
    return -1;
}

} // namespace sim

#else

#include <sys/resource.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace sim {

std::int64_t peakRssKb() {
    struct rusage usage {};
    if (getrusage(RUSAGE_SELF, &usage) != 0) {
        return 0;
    }
    return static_cast<std::int64_t>(usage.ru_maxrss); // kilobytes on Linux
}

std::int64_t heapInUseBytes() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    const struct mallinfo2 info = mallinfo2();
    return static_cast<std::int64_t>(info.uordblks + info.hblkhd);
#else
    return -1;
#endif
}

} // namespace sim

#endif
