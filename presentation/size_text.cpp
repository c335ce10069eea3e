#include "presentation/size_text.h"

#include <cstdio>

namespace parvola {

std::string fileSizeText(long long size, const std::string& rowType) {
    if (rowType == "文件夹" && size == 0)
        return {};
    char text[64];
    const double megabytes = static_cast<double>(size) / 1048576.0;
    if (megabytes > 1)
        std::snprintf(text, sizeof text, "%.4fMB", megabytes);
    else
        std::snprintf(text, sizeof text, "%.4fKB", static_cast<double>(size) / 1024.0);
    return text;
}

}  // namespace parvola
