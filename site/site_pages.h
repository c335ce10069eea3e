#pragma once
// The simple pages the client shows in its browser panes or opens in the
// desktop browser. UTF-8 HTML, plain enough for a rich-text viewer.
#include <string>

namespace parvola::site {

std::string informationPage();
std::string advertPage();
std::string registerPage();
std::string groupLoginPage();
std::string siteLoginPage();

}  // namespace parvola::site
