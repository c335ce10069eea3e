#pragma once
// What the clients take from the web service besides the login: the pages
// they show or open, and the web login of the "共享" command.
#include <string>

namespace parvola {

// The service's pages, built from the deployment's base addresses.
struct SitePages {
    std::string registration;  // opened by the login dialog's register button
    std::string groupLogin;    // opened by the "共享" button
    std::string information;   // the toolbar's browser pane
    std::string advert;        // the notice pane
};

SitePages sitePages();

// Posts the web login form of the logged-in account typed as `typedAddress`
// (an empty form when no such account is logged in, as the service expects),
// ignoring the reply. Waits for the service: call it off the user-interface
// thread.
void postShareLogin(const std::string& typedAddress);

}  // namespace parvola
