#pragma once
// The size column of the file list: megabytes with four decimals above one
// MiB, kilobytes otherwise, nothing for an empty folder.
#include <string>

namespace parvola {

// "%.4fMB" when size / 1048576 > 1, else "%.4fKB" of size / 1024; the empty
// text for a folder row ("文件夹") of size 0.
std::string fileSizeText(long long size, const std::string& rowType);

}  // namespace parvola
