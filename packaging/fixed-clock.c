/* Preloaded into wixl and msibuild by scripts/release: the wall clock reads
 * SOURCE_DATE_EPOCH, so the installers' summary information (created, last
 * saved) is the same in every build of one commit. Other clocks are left
 * alone. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/time.h>
#include <time.h>

static time_t Fixed(void) {
    const char* epoch = getenv("SOURCE_DATE_EPOCH");
    return epoch != NULL ? (time_t)strtoll(epoch, NULL, 10) : 0;
}

time_t time(time_t* t) {
    time_t v = Fixed();
    if (t != NULL)
        *t = v;
    return v;
}

int gettimeofday(struct timeval* tv, void* tz) {
    (void)tz;
    tv->tv_sec = Fixed();
    tv->tv_usec = 0;
    return 0;
}

int clock_gettime(clockid_t clock, struct timespec* ts) {
    if (clock == CLOCK_REALTIME) {
        ts->tv_sec = Fixed();
        ts->tv_nsec = 0;
        return 0;
    }
    int (*real)(clockid_t, struct timespec*) =
        (int (*)(clockid_t, struct timespec*))dlsym(RTLD_NEXT, "clock_gettime");
    return real(clock, ts);
}
