#pragma once

#include "WideString.h"

// Internet Explorer's full path as its App Paths entry names it, environment strings
// expanded and quotes removed; empty when there is no entry or no such file.
CWideString InternetExplorerPath();

// Opens `url` in a new Internet Explorer window ("-new " and the URL), or with the default
// browser where there is no Internet Explorer or it cannot be started; as the desktop's
// user, as the readme is opened (Readme.h). Never searches for the browser by a bare name:
// setup runs elevated from a download folder that any program of the user can write into.
void OpenDownloadPage(const wchar_t* url);
