#pragma once

#include <QString>

// The texts stored with the program (compiled-in resources under :/data/).
namespace storedtext {
QString checksumScript(); // the text of memo3
QString serverPool(); // the text of memo4, one IPv4 address a line
QString linkPattern(); // the text of edt7
QString bannerHost(); // host of the banner server
QString bannerUrl(); // "http://" + host + "/softad/PR.html?v1.0"
} // namespace storedtext
