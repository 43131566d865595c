#pragma once
// Opening a favourite: with the setting "LaunchNewIE" = "True" in a new browser window, else with
// the desktop's default handler (xdg-open).

#include <functional>
#include <string>
#include <vector>

class QObject;

namespace favourites {

struct Launch {
    std::string program;
    std::vector<std::string> arguments;
};

// How to show the URL in a new window: the default browser (xdg-settings) started with its
// new-window option when it is a browser known to have one, else plain xdg-open (always for an
// address that starts with "-", which the browser would take for an option).
Launch NewWindowLaunch(const std::string& url);
// Whether the address is one that is handed to a browser or mail program: http, https, ftp and
// mailto only (letters of the scheme in any case). Others (javascript:, file:, place:...) stay in the
// store but are never opened.
bool IsOpenableAddress(const std::string& url);
// The address as it is stored: a bare host name, with or without a port and a path
// ("www.example.org", "localhost:8080/start"), gets "http://" in front so that it can be opened;
// any other text (an address with a scheme, blanks around it) is returned as it is.
std::string WithWebScheme(const std::string& url);
// Why an address is not opened, for the user.
std::string NotOpenedMessage(const std::string& url);
// Why a favourite could not be shown, for the user.
using OpenFailed = std::function<void(const std::string& why)>;
// Opens the URL as the setting says; false at once, starting nothing, when the address is not one
// that is opened. When the helper cannot be started, or xdg-open ends with a failure (no browser or
// mail program is installed or set up), `failed` hears why, on the thread of `context` and only
// while `context` lives.
bool OpenFavourite(const std::string& url, QObject* context, OpenFailed failed);

} // namespace favourites
