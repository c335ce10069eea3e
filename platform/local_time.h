#pragma once
// Local date and time as text: "yy-mm-dd HH:MM:SS" in the catalog and the web
// forms, "yyyy-mm-dd HH:MM:SS" in the task list and the site's log.
#include <ctime>
#include <string>

namespace parvola {

enum class YearDigits { Two, Four };

// `when` in local time as "%y-%m-%d %H:%M:%S" (Two) or "%Y-%m-%d %H:%M:%S"
// (Four); empty when the time cannot be converted.
std::string localTimeText(std::time_t when, YearDigits year);

}  // namespace parvola
