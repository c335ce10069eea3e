#include "platform/local_time.h"

namespace parvola {

std::string localTimeText(std::time_t when, YearDigits year) {
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr)
        return {};
    char text[64];
    // Literal formats, so the compiler checks them.
    const size_t length = year == YearDigits::Two
                              ? std::strftime(text, sizeof text, "%y-%m-%d %H:%M:%S", &local)
                              : std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(text, length);
}

}  // namespace parvola
