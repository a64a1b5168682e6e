#pragma once

// Opening links in the system browser. The launcher runs with administrator rights, so only web
// addresses are ever handed to the shell: never files, programs or script addresses.

#include <string>

// Whether `url` (UTF-8) is a web address the launcher may open: "http://" or "https://" (any
// case) followed by a host, with no control characters, blanks, quotation marks or < > ^ |.
bool IsOpenableWebAddress(const std::string& url);

// What DoreveziCore::OpenLink would open for `text`: the link table's entry of that name
// (`byName`) or the text itself as an address. False when nothing would be opened.
bool ResolveLinkTarget(const std::string& text, bool byName, std::string& url);
