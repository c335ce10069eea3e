#pragma once
// The pieces of the --json output: strings quoted and escaped as JSON wants
// them (the text stays UTF-8), and the catalog's local times in ISO 8601.
#include <string>

namespace parvola::cli {

// `text` as a JSON string, quotes included.
std::string jsonString(const std::string& text);

// A catalog time ("26-12-07 22:20:12", local time, two-digit year from 2000)
// as ISO 8601 with the local offset ("2026-12-07T22:20:12+08:00"), as a JSON
// string; null when the text is no such time.
std::string jsonTime(const std::string& catalogTime);

}  // namespace parvola::cli
