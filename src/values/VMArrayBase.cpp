#include "values/VMArrayBase.h"

namespace vm_array {

namespace {

int Limit(long double g, int count) {
    if (!(g >= 1))
        return 1;
    if (g > count - 1)
        return count - 1;
    return static_cast<int>(g);
}

} // namespace

int Guess(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d, int count) {
    std::int64_t num = 0;
    std::int64_t span = 0;
    std::int64_t product = 0;
    if (!__builtin_sub_overflow(a, b, &num) && !__builtin_sub_overflow(c, d, &span) &&
        span < INT64_MAX && !__builtin_mul_overflow(num, std::int64_t{count}, &product)) {
        const std::int64_t divisor = span + 1 < 1 ? 1 : span + 1;
        const std::int64_t g = product / divisor; // truncates toward zero
        return g < 1 ? 1 : g > count - 1 ? count - 1 : static_cast<int>(g);
    }
    long double divisor = static_cast<long double>(c) - static_cast<long double>(d) + 1;
    if (divisor < 1)
        divisor = 1;
    return Limit((static_cast<long double>(a) - static_cast<long double>(b)) * count / divisor,
                 count);
}

int GuessDouble(double k, double first, double last, int count) {
    double divisor = last - first + 1.0;
    if (divisor <= 0.000001)
        divisor = 1.0;
    return Limit((k - first) * count / divisor, count);
}

} // namespace vm_array
